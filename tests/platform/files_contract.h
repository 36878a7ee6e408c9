#pragma once

// What every adapter of the files port answers, the fake's, the stand-in's
// and the Win32 one's alike: one table of calls in an empty folder, each with
// its result and Windows' code. Listings are compared as sets: the core
// assumes no order.

#include "platform/error_codes.h"
#include "platform/files.h"
#include "platform/last_error.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace korin::testing {

enum class FileStep {
    CreateNew,     // write text into a new file
    CreateAlways,  // write text, truncating
    Append,        // write text at the end
    Read,          // the whole content is text
    ReadShared,    // opened as ReadSharingRead, then text is the content
    Attributes,    // folder or file (text "dir" or "file")
    MakeFolder,
    RemoveFolder,
    Delete,
    Move,  // path over text
    List,  // path's matches, their names joined by "|" in any order
    TempName,
    DeleteUnused,   // opened DeleteOnClose; text "held": while another handle is open
    SetAttributes,  // text "readonly" or "normal"
};

struct FileCase {
    FileStep step;
    const wchar_t* path;  // below the folder
    const char* text;
    std::uint32_t error;  // 0: the call succeeds
    // Where Wine departs from Windows, its answer under Wine.
    std::uint32_t wineError = kAsOnWindows;
    static constexpr std::uint32_t kAsOnWindows = 0xFFFFFFFF;
};

inline std::set<std::string> namesOf(const std::string& joined) {
    std::set<std::string> names;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const std::size_t end = std::min(joined.find('|', start), joined.size());
        names.insert(joined.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

inline std::string narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

// The names of an enumeration's first entry and the rest, and the code the
// enumeration ended with.
inline std::set<std::string> namesListed(FindHandle& find, FindData& data, std::uint32_t& end) {
    std::set<std::string> names = {narrow(data.name)};
    while (find.findNext(data)) {
        names.insert(narrow(data.name));
    }
    end = lastError();
    return names;
}

inline const FileCase kFileCases[] = {
    {FileStep::Read, L"missing.txt", "", kErrorFileNotFound},
    {FileStep::Read, L"none\\missing.txt", "", kErrorPathNotFound},
    {FileStep::CreateAlways, L"none\\new.txt", "x", kErrorPathNotFound},
    {FileStep::Attributes, L"missing.txt", "", kErrorFileNotFound},
    {FileStep::Attributes, L"none\\missing.txt", "", kErrorPathNotFound},
    {FileStep::CreateNew, L"a.txt", "12345", 0},
    {FileStep::CreateNew, L"a.txt", "again", kErrorFileExists},
    {FileStep::Read, L"a.txt", "12345", 0},
    {FileStep::CreateAlways, L"a.txt", "ab", 0},
    {FileStep::Append, L"a.txt", "cd", 0},
    {FileStep::Read, L"A.TXT", "abcd", 0},
    {FileStep::ReadShared, L"a.txt", "abcd", 0},
    {FileStep::Attributes, L"a.txt", "file", 0},
    {FileStep::MakeFolder, L"sub", "", 0},
    {FileStep::MakeFolder, L"sub", "", kErrorAlreadyExists},
    {FileStep::MakeFolder, L"a.txt", "", kErrorAlreadyExists},
    {FileStep::MakeFolder, L"none\\deeper", "", kErrorPathNotFound},
    {FileStep::Attributes, L"sub", "dir", 0},
    {FileStep::Read, L"sub", "", kErrorAccessDenied},
    {FileStep::Delete, L"sub", "", kErrorAccessDenied},
    {FileStep::RemoveFolder, L"a.txt", "", kErrorDirectory},
    {FileStep::List, L"*", ".|..|a.txt|sub", 0},
    {FileStep::List, L"a.txt", "a.txt", 0},
    {FileStep::List, L"b.txt", "", kErrorFileNotFound},
    {FileStep::List, L"none\\*", "", kErrorPathNotFound},
    {FileStep::CreateAlways, L"sub\\b.txt", "old", 0},
    {FileStep::Move, L"a.txt", "sub\\b.txt", 0},
    {FileStep::Read, L"sub\\b.txt", "abcd", 0},
    {FileStep::Attributes, L"a.txt", "", kErrorFileNotFound},
    {FileStep::Move, L"a.txt", "sub\\c.txt", kErrorFileNotFound},
    {FileStep::Move, L"sub\\b.txt", "none\\b.txt", kErrorPathNotFound},
    {FileStep::RemoveFolder, L"sub", "", kErrorDirNotEmpty},
    {FileStep::RemoveFolder, L"gone", "", kErrorFileNotFound},
    {FileStep::RemoveFolder, L"none\\gone", "", kErrorPathNotFound},
    {FileStep::Delete, L"none\\b.txt", "", kErrorPathNotFound},
    {FileStep::Delete, L"sub\\b.txt", "", 0},
    {FileStep::Delete, L"sub\\b.txt", "", kErrorFileNotFound},
    {FileStep::List, L"sub\\*", ".|..", 0},
    {FileStep::RemoveFolder, L"sub", "", 0},
    {FileStep::CreateNew, L"held.txt", "x", 0},
    {FileStep::DeleteUnused, L"held.txt", "held", kErrorSharingViolation},
    {FileStep::Read, L"held.txt", "x", 0},
    {FileStep::DeleteUnused, L"held.txt", "", 0},
    {FileStep::Attributes, L"held.txt", "", kErrorFileNotFound},
    {FileStep::DeleteUnused, L"none\\held.txt", "", kErrorPathNotFound},
    {FileStep::CreateNew, L"ro.txt", "x", 0},
    {FileStep::CreateNew, L"new.txt", "y", 0},
    {FileStep::SetAttributes, L"ro.txt", "readonly", 0},
    {FileStep::Attributes, L"ro.txt", "readonly", 0},
    {FileStep::Delete, L"ro.txt", "", kErrorAccessDenied},
    {FileStep::DeleteUnused, L"ro.txt", "", kErrorAccessDenied},
    {FileStep::Read, L"ro.txt", "x", 0},
    // Wine, run by root, writes and renames over a read-only file.
    {FileStep::CreateAlways, L"ro.txt", "z", kErrorAccessDenied, 0},
    {FileStep::Move, L"new.txt", "ro.txt", kErrorAccessDenied, 0},
    {FileStep::SetAttributes, L"ro.txt", "normal", 0},
    {FileStep::Attributes, L"ro.txt", "file", 0},
    {FileStep::Delete, L"ro.txt", "", 0},
    {FileStep::Delete, L"new.txt", "", 0, kErrorFileNotFound},
    {FileStep::SetAttributes, L"gone.txt", "normal", kErrorFileNotFound},
    {FileStep::TempName, L"", "kor", 0},
    {FileStep::TempName, L"none", "kor", kErrorDirectory},
};

// Runs one case in folder (an existing, empty folder's full path).
inline void runFileCase(Files& files, const std::wstring& folder, const FileCase& c,
                        std::set<std::wstring>& tempNames, bool wine) {
    const std::uint32_t error =
        wine && c.wineError != FileCase::kAsOnWindows ? c.wineError : c.error;
    const std::wstring path = folder + L"\\" + c.path;
    const std::string text = c.text;
    const std::string what = narrow(c.path);
    setLastError(0);
    bool ok = false;
    switch (c.step) {
        case FileStep::CreateNew:
        case FileStep::CreateAlways:
        case FileStep::Append: {
            const FileOpenMode mode = c.step == FileStep::CreateNew ? FileOpenMode::CreateNew
                                      : c.step == FileStep::CreateAlways
                                          ? FileOpenMode::CreateAlways
                                          : FileOpenMode::AppendAlways;
            auto file = files.openFile(path, mode);
            ok = file && file->write(text.data(), static_cast<std::uint32_t>(text.size())) &&
                 file->close();
            break;
        }
        case FileStep::Read:
        case FileStep::ReadShared: {
            auto file =
                files.openFile(path, c.step == FileStep::Read ? FileOpenMode::ReadExisting
                                                              : FileOpenMode::ReadSharingRead);
            std::uint64_t size = 0;
            ok = file && file->getFileSize(size);
            if (ok) {
                EXPECT_EQ(size, text.size()) << what;
                std::string content;
                char buffer[3];
                std::uint32_t read = 0;
                while ((ok = file->read(buffer, sizeof buffer, read)) && read > 0) {
                    content.append(buffer, read);
                }
                EXPECT_EQ(content, text) << what;
            }
            break;
        }
        case FileStep::Attributes: {
            const std::uint32_t attributes = files.getFileAttributes(path);
            ok = attributes != kInvalidFileAttributes;
            if (ok) {
                EXPECT_EQ((attributes & kFileAttributeDirectory) != 0, text == "dir") << what;
                EXPECT_EQ((attributes & kFileAttributeReadOnly) != 0, text == "readonly") << what;
            }
            break;
        }
        case FileStep::MakeFolder:
            ok = files.createDirectory(path);
            break;
        case FileStep::RemoveFolder:
            ok = files.removeDirectory(path);
            break;
        case FileStep::Delete:
            ok = files.deleteFile(path);
            break;
        case FileStep::Move:
            ok = files.moveFileReplacing(path,
                                         folder + L"\\" + std::wstring(text.begin(), text.end()));
            break;
        case FileStep::List: {
            FindData data;
            auto find = files.findFirstFile(path, data);
            ok = find != nullptr;
            if (ok) {
                std::uint32_t end = 0;
                EXPECT_EQ(namesListed(*find, data, end), namesOf(text)) << what;
                EXPECT_EQ(end, kErrorNoMoreFiles) << what;
            }
            break;
        }
        case FileStep::DeleteUnused: {
            auto other =
                text == "held" ? files.openFile(path, FileOpenMode::ReadExisting) : nullptr;
            ok = files.openFile(path, FileOpenMode::DeleteOnClose) != nullptr;
            break;
        }
        case FileStep::SetAttributes:
            ok = files.setFileAttributes(
                path, text == "readonly" ? kFileAttributeReadOnly : kFileAttributeNormal);
            break;
        case FileStep::TempName: {
            std::wstring made;
            const std::wstring where = *c.path ? path : folder;
            ok = files.getTempFileName(where, std::wstring(text.begin(), text.end()), made);
            if (ok) {
                EXPECT_EQ(made.rfind(where + L"\\kor", 0), 0u) << narrow(made);
                EXPECT_EQ(made.substr(made.size() - 4), L".tmp") << narrow(made);
                EXPECT_TRUE(tempNames.insert(made).second) << narrow(made);
                auto file = files.openFile(made, FileOpenMode::ReadExisting);
                std::uint64_t size = 1;
                EXPECT_TRUE(file && file->getFileSize(size) && size == 0) << narrow(made);
            }
            break;
        }
    }
    EXPECT_EQ(ok, error == 0) << what << " (" << lastError() << ")";
    if (!ok) {
        EXPECT_EQ(lastError(), error) << what;
    }
}

inline void holdsTheFilesContract(Files& files, const std::wstring& folder, bool wine = false) {
    std::set<std::wstring> tempNames;
    int row = 0;
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(::testing::Message() << "files contract row " << ++row);
        runFileCase(files, folder, c, tempNames, wine);
    }
    // The table leaves only its temporary files behind.
    for (const std::wstring& made : tempNames) {
        EXPECT_TRUE(files.deleteFile(made)) << narrow(made);
    }
    FindData data;
    auto find = files.findFirstFile(folder + L"\\*", data);
    ASSERT_TRUE(find);
    std::uint32_t end = 0;
    EXPECT_EQ(namesListed(*find, data, end), namesOf(".|.."));
}

}  // namespace korin::testing
