#include "script_runner/settings/TrustedFile.h"

#include <cstdio>
#include <set>
#include <vector>

#include "runtime/PathText.h"

namespace tolvane {
namespace {

constexpr unsigned kGroupWrite = 0020;
constexpr unsigned kOthersWrite = 0002;

std::string Octal(unsigned mode) {
  char text[8];
  std::snprintf(text, sizeof text, "%04o", mode & 07777);
  return text;
}

bool OwnedByServer(Platform& platform, const FileFacts& facts) {
  return facts.owner == 0 || facts.owner == platform.EffectiveUser();
}

std::string NotOwned(Platform& platform, const FileFacts& facts) {
  return "belongs to user " + std::to_string(facts.owner) +
         ", not to root or the server's user (" + std::to_string(platform.EffectiveUser()) + ")";
}

// The folders that hold path, from the nearest to the root.
std::vector<std::string> FoldersAbove(const std::string& path) {
  std::vector<std::string> folders;
  std::string folder = FolderOf(path);
  while (!folder.empty() && folders.size() < 4096) {
    folders.push_back(folder);
    const std::string above = FolderOf(folder);
    if (above == folder) break;
    folder = above;
  }
  return folders;
}

// The rule a folder on the way breaks, or empty.
std::string FolderRefusal(Platform& platform, const std::string& path) {
  std::vector<std::string> folders = FoldersAbove(path);
  std::string resolved;
  if (platform.RealPath(FolderOf(path), &resolved) == 0) {
    const std::vector<std::string> real = FoldersAbove(JoinPath(resolved, "x"));
    folders.insert(folders.end(), real.begin(), real.end());
  }
  std::set<std::string> seen;
  for (const std::string& folder : folders) {
    if (!seen.insert(folder).second) continue;
    FileFacts facts;
    const int error = platform.ReadFileFacts(folder, &facts);
    if (error != 0)
      return "refused: folder " + folder + " on the way to it cannot be examined: " +
             platform.ErrorText(error);
    if (!OwnedByServer(platform, facts))
      return "refused: folder " + folder + " on the way to it " + NotOwned(platform, facts) +
             ", who could put another file in its place";
    if ((facts.mode & (kGroupWrite | kOthersWrite)) != 0)
      return "refused: folder " + folder + " on the way to it can be written by " +
             ((facts.mode & kOthersWrite) != 0 ? "others" : "its group") + " (mode " +
             Octal(facts.mode) + "), who could put another file in its place";
  }
  return std::string();
}

}  // namespace

TrustedFile ReadTrustedFile(Platform& platform, const std::string& path) {
  TrustedFile file;
  file.error = platform.ReadFileNoFollow(path, &file.content, &file.facts);
  if (file.error != 0) return file;
  const FileFacts& facts = file.facts;
  if (facts.link) {
    file.refusal = "refused: it is a symbolic link; name the file itself";
  } else if (!OwnedByServer(platform, facts)) {
    file.refusal = "refused: it " + NotOwned(platform, facts) + "; chown root";
  } else if ((facts.mode & kOthersWrite) != 0) {
    file.refusal = "refused: others can write it (mode " + Octal(facts.mode) +
                   "); remove their access: chmod o-w";
  } else if ((facts.mode & kGroupWrite) != 0) {
    file.refusal = "refused: its group can write it (mode " + Octal(facts.mode) +
                   "); remove the group's access: chmod g-w";
  } else {
    file.refusal = FolderRefusal(platform, path);
  }
  if (!file.refusal.empty()) file.content.clear();
  return file;
}

}  // namespace tolvane
