#include "plugin/test_host/activation_contexts.h"

namespace kw::test {

namespace {

std::string Narrow(const wchar_t* text) {
  if (!text) return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], size, nullptr, nullptr);
  narrow.resize(static_cast<std::size_t>(size - 1));
  return narrow;
}

std::vector<char> Query(HANDLE context, void* subject, ULONG what) {
  SIZE_T size = 0;
  QueryActCtxW(0, context, subject, what, nullptr, 0, &size);
  std::vector<char> buffer(size);
  if (size == 0 || !QueryActCtxW(0, context, subject, what, buffer.data(), size, &size)) {
    buffer.clear();
  }
  return buffer;
}

}  // namespace

bool ContextContents::HasCommonControls6() const {
  for (const std::string& identity : assemblies) {
    if (identity.find("Microsoft.Windows.Common-Controls,") == 0 &&
        identity.find("version=\"6.") != std::string::npos) {
      return true;
    }
  }
  return false;
}

ContextContents DescribeContext(HANDLE context) {
  ContextContents contents;
  const std::vector<char> detail = Query(context, nullptr, ActivationContextDetailedInformation);
  if (detail.empty()) return contents;
  const auto* info =
      reinterpret_cast<const ACTIVATION_CONTEXT_DETAILED_INFORMATION*>(detail.data());
  contents.rootManifest = Narrow(info->lpRootManifestPath);
  for (DWORD index = 1; index <= info->ulAssemblyCount; ++index) {
    DWORD subject = index;
    const std::vector<char> assembly =
        Query(context, &subject, AssemblyDetailedInformationInActivationContext);
    if (assembly.empty()) continue;
    const auto* details =
        reinterpret_cast<const ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(assembly.data());
    contents.assemblies.push_back(Narrow(details->lpAssemblyEncodedAssemblyIdentity));
  }
  return contents;
}

bool SamePath(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

}  // namespace kw::test
