// Paths as the system's data and scripts write them: "\" and "/" both separate
// folders, the native form uses "/", and a path is absolute when it starts with "/"
// once mapped. Drive letters mean nothing here ("C:\a" is the relative "C:/a").
#pragma once

#include <string>
#include <string_view>

namespace velmoro::path {

std::u16string toNative(std::u16string_view p);  // every "\" becomes "/"
bool isAbsolute(std::u16string_view p);
// p resolved against folder (which need not end in "/"); an absolute p is returned as is.
std::u16string resolve(std::u16string_view p, std::u16string_view folder);
std::u16string currentDirectory();
// Everything up to and including the last "/" ("" when there is none).
std::u16string folderOf(std::u16string_view p);
std::u16string fileNameOf(std::u16string_view p);
// The extension of the file name: from its last "." on, dot included ("" when none).
std::u16string extensionOf(std::u16string_view p);
std::u16string changeExtension(std::u16string_view p, std::u16string_view ext);

std::string toSystem(std::u16string_view p);  // the kernel's form: UTF-8, "/"
bool fileExists(std::u16string_view p);       // a file or anything else but a folder
bool folderExists(std::u16string_view p);
// Creates the folder with all missing parents; true when it exists afterwards.
bool createFolders(std::u16string_view folder);

}  // namespace velmoro::path
