// The folder `fieldfx studio --root DIR` lets its page browse: the page lists
// the folders and files under it and picks clips from them by paths relative
// to it. Nothing outside it is ever named, listed or opened: an absolute
// path, a ".." or "." step, an empty step, and any entry whose real path
// (symbolic links followed) leaves the folder are refused.
#ifndef FIELDFX_STUDIO_CLIP_ROOT_H
#define FIELDFX_STUDIO_CLIP_ROOT_H

#include <cstddef>
#include <string>
#include <vector>

namespace fieldfx::studio {

class ClipRoot {
public:
    // At most this many entries of one folder are listed (the first by name).
    static constexpr std::size_t kMaxEntries = 2000;

    // Throws std::runtime_error naming `dir` when it is not a folder.
    explicit ClipRoot(const std::string& dir);

    // The folder's real path.
    const std::string& path() const { return path_; }

    struct Entry {
        std::string name;
        bool folder;  // else a regular file
    };
    // The folders, then the regular files, of the folder `relative` names
    // ("" for the root itself), each sorted by name; hidden names and
    // entries that lead out of the root are left out. Throws RequestError:
    // 403 for a path that is refused, 404 for one that is not a folder.
    std::vector<Entry> list(const std::string& relative) const;

    // The real path of the regular file `relative` names. Throws
    // RequestError: 403 for a path that is refused, 404 for one that is not
    // a regular file.
    std::string resolve(const std::string& relative) const;

private:
    // The real path of `relative` under the root; RequestError 403 when the
    // path is refused or leads out, 404 when it does not exist.
    std::string realUnder(const std::string& relative) const;
    bool inside(const std::string& real) const;

    std::string path_;
};

}  // namespace fieldfx::studio

#endif
