#include "core/nodes_writer.h"

#include <memory>
#include <string_view>

void WriteNodes(const SectionInput& input) {
  TextStream& out = input.smd;
  out.Put("nodes\n");
  for (const std::unique_ptr<NodeRecord>& record : input.nodes.Nodes()) {
    out.PutInt3(record->index);
    out.Put(" \"");
    out.Put(record->name ? std::string_view(record->name) : std::string_view());
    out.Put("\" ");
    out.PutInt3(record->parentIndex);
    out.Put('\n');
  }
  out.Put("end\n");
}
