#include <windows.h>

#include <aclapi.h>

#include <string>

#include "rules/strict_modes.h"

namespace {

// The groups whose write access a default ACL may give, with the SID that icacls takes.
struct WideGroup {
  WELL_KNOWN_SID_TYPE type;
  const char* name;
  const char* sid;
};
constexpr WideGroup kWideGroups[] = {
    {WinWorldSid, "Everyone", "*S-1-1-0"},
    {WinBuiltinUsersSid, "Users", "*S-1-5-32-545"},
    {WinAuthenticatedUserSid, "Authenticated Users", "*S-1-5-11"},
};

constexpr ACCESS_MASK kWriting = FILE_WRITE_DATA | FILE_APPEND_DATA | GENERIC_WRITE | GENERIC_ALL |
                                 WRITE_DAC | WRITE_OWNER | DELETE;

bool IsGroup(PSID sid, WELL_KNOWN_SID_TYPE type) {
  BYTE known[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof(known);
  return CreateWellKnownSid(type, nullptr, known, &size) && EqualSid(sid, known);
}

// The wide group that the ACL lets write, or none.
const WideGroup* WideWriter(const ACL* acl) {
  // No list at all lets everyone do anything.
  if (acl == nullptr) return &kWideGroups[0];
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* entry = nullptr;
    if (!GetAce(const_cast<ACL*>(acl), i, &entry)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE) != 0) {
      continue;
    }
    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
    if ((allowed->Mask & kWriting) == 0) continue;
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    for (const WideGroup& group : kWideGroups) {
      if (IsGroup(sid, group.type)) return &group;
    }
  }
  return nullptr;
}

}  // namespace

Result<Noted<>> CheckWriters(const std::filesystem::path& file) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  Noted<> checked;
  if (GetNamedSecurityInfoW(file.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return checked;
  }
  if (const WideGroup* group = WideWriter(acl)) {
    checked.Note(file.u8string() + " may be written by " + group->name +
                 ", and would steer what console-server runs (icacls \"" + file.u8string() +
                 "\" /inheritance:d /grant:r " + group->sid + ":RX)");
  }
  LocalFree(descriptor);
  return checked;
}
