#pragma once
// Replacing a file so that it is either the old file or the whole new one, never a mix: the
// bytes go to a temporary file in the same folder, are flushed to disk, and the temporary file
// is renamed over the target. Any failure removes the temporary file and leaves the target as
// it was.
//
// The temporary file is ".<name>.<12 hex digits>.tmp", the name cut so that the whole stays
// within the folder's limit on names. Its writer locks it until the rename; a write removes the
// temporary files of its own target that no writer locks and that have not changed for a few
// seconds: those of writes killed before they could clean up.

#include "common/expected.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string_view>
#include <system_error>

namespace morvane {

// The file operations of a save, as a seam: tests make one of them fail.
class SaveIo {
public:
    virtual ~SaveIo() = default;
    // Creates `path`, which must not exist yet, for writing; nullptr with `error` set on failure.
    virtual std::FILE* create(const std::filesystem::path& path, std::error_code& error);
    // Writes the whole chunk.
    virtual std::error_code write(std::FILE* file, std::string_view chunk);
    // Flushes the file's data to the disk.
    virtual std::error_code sync(std::FILE* file);
    // Replaces `to` by `from` in one step.
    virtual std::error_code rename(const std::filesystem::path& from, const std::filesystem::path& to);
};

SaveIo& defaultSaveIo();

// The message for a file another program holds (or that may not be replaced).
std::string fileInUseMessage(const std::filesystem::path& file);

// Writes `bytes` as the new content of `target` (created if it does not exist; a symbolic link
// is followed, so it stays a link). A target marked read-only, or that this process may not
// write, is refused as read-only; so is a folder that does not let it replace the file. The
// permissions of an existing target are kept. `beforeRename`, when given, has the last word
// just before the target is replaced: a failure there removes the temporary file and is
// returned as it is. Errors name the file and the reason.
Status saveFileAtomically(const std::filesystem::path& target, std::string_view bytes, SaveIo& io = defaultSaveIo(),
                          const std::function<Status()>& beforeRename = {});

enum class ExistingFile { Refuse, Replace };

// Writes `bytes` as `target` atomically: on failure there is neither the file nor a temporary
// one. With ExistingFile::Refuse an existing target is left alone and refused, also when it
// appears while writing.
Status saveNewFile(const std::filesystem::path& target, std::string_view bytes, ExistingFile existing,
                   SaveIo& io = defaultSaveIo());

} // namespace morvane
