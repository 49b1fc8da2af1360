// The frame every file of an export is written in: the scene's errors
// routed, the scene initialised and its nodes collected, the log and the
// file opened, "version 1" written, then the file's sections, and everything
// closed and released whatever happens. ExportScene and ExportFlexes differ
// only in their sections.
#pragma once

#include <functional>
#include <string>

#include "export/export_scene.h"
#include "export/section_input.h"

namespace kw {

using SectionsWriter = std::function<void(const SectionInput&)>;

ExportResult RunExportJob(SceneHost& host, const ExportOptions& options, const std::string& path,
                          OutputFiles& files, const ExportReports& reports,
                          const SectionsWriter& sections);

}  // namespace kw
