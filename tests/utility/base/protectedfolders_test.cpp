// Folders a recursive delete refuses, in every spelling a chunk might pass.
#include "protectedfolders.h"

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::wstring Special(int csidl) {
  wchar_t path[MAX_PATH] = {};
  SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE);
  return path;
}

TEST(ProtectedFolders, DriveAndShareRootsInAnySpelling) {
  for (const wchar_t* p : {L"C:\\", L"C:", L"c:\\", L"C:/", L"C:\\\\", L"\\\\?\\C:\\", L"C:\\.", L"C:\\Windows\\..",
                           L"\\\\server\\share", L"\\\\server\\share\\", L"\\\\?\\UNC\\server\\share", L"\\\\server"})
    EXPECT_TRUE(brix::IsProtectedFolder(p)) << std::wstring(p).size();
  EXPECT_FALSE(brix::IsProtectedFolder(L"\\\\server\\share\\Quillon"));
}

TEST(ProtectedFolders, SystemAndUserFoldersAndEveryFolderAboveThem) {
  for (int csidl : {CSIDL_WINDOWS, CSIDL_SYSTEM, CSIDL_PROGRAM_FILES, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROFILE,
                    CSIDL_DESKTOPDIRECTORY, CSIDL_PERSONAL, CSIDL_APPDATA, CSIDL_LOCAL_APPDATA, CSIDL_COMMON_APPDATA,
                    CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_DESKTOPDIRECTORY}) {
    const std::wstring folder = Special(csidl);
    ASSERT_FALSE(folder.empty()) << csidl;
    EXPECT_TRUE(brix::IsProtectedFolder(folder)) << csidl;
    // Other letter case, a trailing separator, the long-path prefix.
    std::wstring upper = folder;
    CharUpperBuffW(&upper[0], static_cast<DWORD>(upper.size()));
    EXPECT_TRUE(brix::IsProtectedFolder(upper + L"\\")) << csidl;
    EXPECT_TRUE(brix::IsProtectedFolder(L"\\\\?\\" + folder)) << csidl;
    // The folder that holds it (C:\users for a profile, for example).
    EXPECT_TRUE(brix::IsProtectedFolder(folder.substr(0, folder.find_last_of(L'\\')))) << csidl;
  }
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  EXPECT_TRUE(brix::IsProtectedFolder(temp));
}

TEST(ProtectedFolders, ProductFoldersBelowThemStayDeletable) {
  const std::wstring programs = Special(CSIDL_PROGRAM_FILES);
  EXPECT_FALSE(brix::IsProtectedFolder(programs + L"\\Harlow\\Quillon"));
  EXPECT_FALSE(brix::IsProtectedFolder(programs + L"\\Harlow"));
  EXPECT_FALSE(brix::IsProtectedFolder(Special(CSIDL_COMMON_PROGRAMS) + L"\\Quillon"));
  EXPECT_FALSE(brix::IsProtectedFolder(Special(CSIDL_LOCAL_APPDATA) + L"\\Quillon\\"));
  // A name that merely starts like a protected folder is another folder.
  EXPECT_FALSE(brix::IsProtectedFolder(Special(CSIDL_WINDOWS) + L"Apps"));
  EXPECT_FALSE(brix::IsProtectedFolder(L"D:\\Apps\\Quillon"));
}

}  // namespace
