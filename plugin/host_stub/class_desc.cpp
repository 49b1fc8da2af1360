#include "plugin/host_stub/host_sdk.h"

#include <algorithm>

ClassDesc2::ClassDesc2() = default;
ClassDesc2::~ClassDesc2() = default;

int ClassDesc2::NumParamBlockDescs() { return 0; }

ParamBlockDesc2* ClassDesc2::GetParamBlockDesc(int) { return nullptr; }

void ClassDesc2::SetUserDlgProc(ParamBlockDesc2* desc, ParamMap2UserDlgProc* proc) {
  const auto found = std::find_if(userDlgProcs_.begin(), userDlgProcs_.end(),
                                  [desc](const UserDlgProc& entry) { return entry.desc == desc; });
  if (found != userDlgProcs_.end()) {
    if (proc) {
      found->proc = proc;
    } else {
      userDlgProcs_.erase(found);
    }
  } else if (proc) {
    userDlgProcs_.push_back(UserDlgProc{desc, proc});
  }
}

ParamMap2UserDlgProc* ClassDesc2::GetUserDlgProc(ParamBlockDesc2* desc) {
  for (const UserDlgProc& entry : userDlgProcs_) {
    if (entry.desc == desc) return entry.proc;
  }
  return nullptr;
}
