#pragma once
// Where the program's files and the user's files live, and small tests on paths and file names.
// Paths are UTF-8 text; folders returned with a trailing separator say so.

#include <string>

namespace luma {

class TUserPrompt;

inline constexpr char kPathSeparator = '/';

// The folder of the running program file, ending with a separator.
std::string ProgramFolder();

// The folder for settings files (TsLumatra.ini, forminfo.ini, thumbnail.dat, ...), ending with a
// separator: $LUMATRANS_CONFIG_DIR when set, else $XDG_CONFIG_HOME/lumatrans, else
// ~/.config/lumatrans. It is not created here; the INI writer creates it on the first write.
std::string SettingsFolder();

// The folder of read-only program data (the help page), ending with a separator: ../share/lumatrans
// beside the program when installed, else the source tree's data folder for a program run from its
// build folder.
std::string DataFolder();

// The user's pictures and documents folders from the XDG user folders (user-dirs.dirs), falling back
// to ~/Pictures, then the documents folder; ~/Documents, then the home folder. There are no folders
// shared by all users on this platform, so `common` gives the same folders. No trailing separator.
std::string PicturesFolder(bool common = false);
std::string DocumentsFolder(bool common = false);

// The path with a separator appended when it does not end in one; the empty path stays empty.
std::string AddTrailingSeparator(const std::string& path);

// True when text contains any of \ / : * ? " < > |
bool HasInvalidFileNameChars(const std::string& text);

// The extension of a file name with its dot ("photo.JPG" -> ".JPG"), empty when there is none.
// Only the last path element is looked at.
std::string ExtractFileExt(const std::string& fileName);

// True when "*" + the name's extension + ";" occurs in the mask list, both in lower case; the list is
// a run of masks each ending with ";" ("*.jpg;*.jpeg;"). A name without extension is never listed.
bool ExtensionInList(const std::string& fileName, const std::string& list);

// True when the folder exists or could be created with all missing parents; otherwise shows the
// "Could Not Create Output Folder" warning through prompt and returns false. An empty path fails
// with the same message.
bool EnsureFolder(const std::string& path, TUserPrompt& prompt);

// The text of that warning for path.
std::string EnsureFolderMessage(const std::string& path);

// Whether two paths name the same file. File names are case-sensitive here: when both exist this is
// the file system's own answer (same device and inode, so links and different spellings of one path
// agree); otherwise the absolute, lexically normalised paths must be equal.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace luma
