#include "export/nodes_writer.h"

#include <memory>
#include <string>
#include <string_view>

#include "smd/quotable_name.h"

namespace kw {

void WriteNodes(const SectionInput& input) {
  TextStream& out = input.smd;
  out.Put("nodes\n");
  for (const std::unique_ptr<NodeRecord>& record : input.nodes.Nodes()) {
    out.PutInt3(record->index);
    out.Put(" \"");
    const std::string_view name =
        record->name ? std::string_view(record->name) : std::string_view();
    if (kw::NeedsReplacing(name)) {
      const std::string written = kw::QuotableName(name);
      input.warnings.Report(kw::WarningKind::kNameReplaced,
                            "The name of node %d holds a double quote or a line break, which "
                            "would break the file; it is written as \"%s\".",
                            record->index, written.c_str());
      out.Put(written);
    } else {
      out.Put(name);
    }
    out.Put("\" ");
    out.PutInt3(record->parentIndex);
    out.Put('\n');
  }
  out.Put("end\n");
}

}  // namespace kw
