#include "tools/lsp_check.h"

#include "compiler/source_store.h"
#include "output/output_directory.h"
#include "scenario/build_run.h"

namespace scenc::lsp {
namespace {

class NoFiles final : public OutputDirectory {
 public:
  void write(const std::string&, const Fill&) override {}
};

}  // namespace

PairCheck check_pair(std::string_view line_source,
                     std::string_view train_source,
                     const std::string& line_name,
                     const std::string& train_number) {
  PairCheck out;
  out.model.line_name = line_name;
  out.model.train_number = train_number;
  MemorySources sources{std::string(line_source), std::string(train_source)};
  NoFiles nowhere;
  memorizza_percorso(out.model, 1, sources, nowhere);
  for (const FaultRecord& f : out.model.fault_log) {
    const FaultInfo* info = find_fault(f.code);
    Finding d;
    d.check = "fault-" + std::to_string(f.code);
    d.message = info ? std::string(info->message) : d.check;
    const SourcePlace place = f.field.known() ? f.field : f.place;
    d.source = place.known() ? place.source
                             : (info ? info->source : SourceKind::kLine);
    d.line = place.line;
    d.column = place.column;
    out.findings.push_back(std::move(d));
  }
  out.model.line_profile.release();
  return out;
}

}  // namespace scenc::lsp
