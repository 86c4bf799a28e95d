#include "tests/support/engine_fixture.h"

#include <thread>

#include "index/packed_name.h"
#include "platform/utf.h"
#include "tests/support/test_index.h"

namespace vessiko::testing {

namespace {

std::string Decode(const uint8_t* bytes, uint32_t length) {
  return DecodeToUtf8(bytes, length);
}

}  // namespace

EngineFixture::EngineFixture() = default;

EngineFixture::~EngineFixture() {
  if (engine_) engine_->close(false);
}

Engine& EngineFixture::startRun() {
  view = MemoryScopeView();
  engine_.reset();
  engine_ =
      std::make_unique<Engine>(EngineEnvironment{machine, files, clock, messages, messages, view,
                                                 folders, DatabasePaths::inFolder("/db", '/')});
  engine_->start();
  engine_->waitUntilReady();
  return *engine_;
}

void EngineFixture::closeRun(bool save) {
  engine_->close(save);
  engine_.reset();
}

std::string EngineFixture::pathOf(RecordRef dir) {
  const Index& index = engine_->index();
  std::string path;
  for (uint32_t depth = 0; dir != kNoRecord && depth < kMaxDirectoryDepth; ++depth) {
    const DirEntry entry = index.dir(dir);
    const std::string name = Decode(entry.name(), entry.nameLength());
    path = path.empty() ? name : name + "\\" + path;
    dir = entry.parentLink();
  }
  return path;
}

std::vector<std::string> EngineFixture::search(const std::string& name,
                                               const std::string& extension) {
  engine_->search({Utf8ToUtf16(name), Utf8ToUtf16(extension)}, engine_->ui().optionsChanged);
  std::lock_guard lock(engine_->results().lock);
  std::vector<std::string> out;
  const Index& index = engine_->index();
  const SearchState& state = engine_->results();
  for (uint32_t i = 0; i < state.dirResults.count(); ++i) {
    out.push_back("D " + pathOf(state.dirResults.itemAt(i)));
  }
  for (uint32_t i = 0; i < state.fileResults.count(); ++i) {
    const FileEntry file = index.file(state.fileResults.itemAt(i));
    const uint8_t* bytes;
    const uint32_t length = file.nameBytes(&bytes);
    std::string fileName = Decode(bytes, length);
    const int32_t extensionIndex = file.extensionIndex(bytes + length);
    if (extensionIndex >= 0) {
      fileName += ".";
      fileName += Utf16ToUtf8(index.extensions.extensionText(extensionIndex));
    }
    out.push_back("F " + pathOf(file.parentLink()) + "\\" + fileName);
  }
  return out;
}

bool EngineFixture::waitForResults(const std::string& name,
                                   const std::vector<std::string>& expected,
                                   std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  for (;;) {
    if (search(name) == expected) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

}  // namespace vessiko::testing
