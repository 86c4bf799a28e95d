// LocalSearcher: the searches of the process that owns the index, in its Face's own session.
// The scope options take effect once the start-up has finished, as discovery adds the volume
// rows then; the live refresh keeps the results current.
#pragma once

#include "cli/face.h"
#include "cli/searcher.h"

namespace vessiko {

class LocalSearcher final : public Searcher {
 public:
  explicit LocalSearcher(Face& face) : face_(face) {}

  bool search(const QueryTexts& query) override;
  SearchToggles toggles() override;
  bool setToggles(const SearchToggles& toggles) override;
  void refresh() override;
  uint32_t count() override { return face_.session().count(); }
  bool describe(uint32_t row, uint32_t wanted, RowCells* cells) override;
  bool path(uint32_t row, std::string* out) override;

 private:
  Face& face_;
  bool scopeApplied_ = false;
  RowCells cells_;
};

}  // namespace vessiko
