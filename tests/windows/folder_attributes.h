// Test support for the Windows tests: gives folders the attribute words that
// users' folders carry, and reads back the word the system's enumeration
// reports, which is what the module sees.
//
// Hidden and system stick on folders under Windows and Wine alike. Read-only
// does on Windows (SetFileAttributesA), while Wine keeps no read-only bit on
// a folder and instead reports one for a folder that may not be written,
// whoever asks (root included): there the folder's DACL is made to deny
// writing, which Wine carries over to the folder's permission bits.
#pragma once

#include <windows.h>
// Needs windows.h first.
#include <aclapi.h>

#include <string>

namespace folder_attributes {

// The attribute word that FindFirstFileA reports for `path`, or
// INVALID_FILE_ATTRIBUTES when there is nothing there.
inline DWORD reportedAttributes(const std::string& path) {
  WIN32_FIND_DATAA data{};
  const HANDLE search = ::FindFirstFileA(path.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return INVALID_FILE_ATTRIBUTES;
  ::FindClose(search);
  return data.dwFileAttributes;
}

// Replaces the DACL of `path` by one that allows Everyone `allowed` and,
// when `denied` is not 0, first denies Everyone `denied`.
inline bool setEveryoneAccess(const std::string& path, DWORD allowed, DWORD denied) {
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof sid;
  if (!::CreateWellKnownSid(WinWorldSid, nullptr, sid, &sidSize)) return false;
  EXPLICIT_ACCESSA entries[2]{};
  for (EXPLICIT_ACCESSA& entry : entries) {
    entry.grfInheritance = NO_INHERITANCE;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    entry.Trustee.ptstrName = reinterpret_cast<LPSTR>(sid);
  }
  entries[0].grfAccessPermissions = denied;
  entries[0].grfAccessMode = DENY_ACCESS;
  entries[1].grfAccessPermissions = allowed;
  entries[1].grfAccessMode = SET_ACCESS;
  PACL acl = nullptr;
  const ULONG first = denied != 0 ? 0 : 1;
  if (::SetEntriesInAclA(2 - first, entries + first, nullptr, &acl) != ERROR_SUCCESS) return false;
  std::string name = path;
  const DWORD result = ::SetNamedSecurityInfoA(
      &name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      nullptr, nullptr, acl, nullptr);
  ::LocalFree(acl);
  return result == ERROR_SUCCESS;
}

// Makes `folder` read-only as the enumeration reports it, and returns the
// attribute word reported then.
inline DWORD makeFolderReadOnly(const std::string& folder) {
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_READONLY);
  if ((reportedAttributes(folder) & FILE_ATTRIBUTE_READONLY) == 0)
    setEveryoneAccess(folder, GENERIC_READ | GENERIC_EXECUTE, FILE_WRITE_DATA | FILE_APPEND_DATA);
  return reportedAttributes(folder);
}

// Undoes makeFolderReadOnly, so that the folder can be emptied and removed.
inline void makeFolderWritable(const std::string& folder) {
  ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((reportedAttributes(folder) & FILE_ATTRIBUTE_READONLY) != 0)
    setEveryoneAccess(folder, GENERIC_ALL, 0);
}

}  // namespace folder_attributes
