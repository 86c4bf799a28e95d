#include "mirror/file_name_bytes.h"

#include "platform/utf.h"

namespace vessiko {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // byte b (0x80-0xFF) is U+DC00 + b
constexpr char32_t kReplacement = 0xFFFD;

bool IsEscapedByte(char16_t unit) {
  return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

}  // namespace

int ValidUtf8Sequence(std::string_view text, size_t i, char32_t* cp) {
  const auto lead = static_cast<unsigned char>(text[i]);
  int n;
  if (lead < 0x80) {
    *cp = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    n = 2;
    *cp = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    n = 3;
    *cp = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    n = 4;
    *cp = lead & 0x07;
  } else {
    return 0;
  }
  if (i + n > text.size()) return 0;
  for (int k = 1; k < n; ++k) {
    const auto c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    *cp = *cp << 6 | (c & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
  if ((n == 3 && (*cp < 0x800 || (*cp >= 0xD800 && *cp <= 0xDFFF))) ||
      (n == 4 && (*cp < 0x10000 || *cp > 0x10FFFF))) {
    return 0;
  }
  return n;
}

namespace {

template <class Lone>
void AppendUnits(std::u16string_view name, std::string* out, Lone lone) {
  for (size_t i = 0; i < name.size(); ++i) {
    const char16_t u = name[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
        name[i + 1] <= 0xDFFF) {
      AppendUtf8(*out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (name[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      lone(u);
    } else {
      AppendUtf8(*out, u);
    }
  }
}

}  // namespace

void DecodeFileName(std::string_view bytes, std::u16string* out) {
  out->clear();
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp;
    const int n = ValidUtf8Sequence(bytes, i, &cp);
    if (n == 0) {
      out->push_back(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i])));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<char16_t>(0xD800 | cp >> 10));
      out->push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<size_t>(n);
  }
}

void AppendFileNameBytes(std::u16string_view name, std::string* out) {
  AppendUnits(name, out, [out](char16_t u) {
    if (IsEscapedByte(u)) {
      out->push_back(static_cast<char>(u - kEscapeBase));
    } else {
      AppendUtf8(*out, kReplacement);
    }
  });
}

void AppendDisplayText(std::u16string_view name, std::string* out) {
  AppendUnits(name, out, [out](char16_t) { AppendUtf8(*out, kReplacement); });
}

}  // namespace vessiko
