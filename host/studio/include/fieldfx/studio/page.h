// The studio page's files (HTML, CSS, JavaScript), compiled into the
// program: the page needs nothing from the network or the disk.
#ifndef FIELDFX_STUDIO_PAGE_H
#define FIELDFX_STUDIO_PAGE_H

#include <string>
#include <string_view>
#include <vector>

namespace fieldfx::studio {

struct PageFile {
    std::string name;  // "index.html"
    std::string_view bytes;
};

const std::vector<PageFile>& pageFiles();

}  // namespace fieldfx::studio

#endif
