// The two kinds of source behind openSource.
#ifndef FIELDFX_VIDEO_SOURCES_H
#define FIELDFX_VIDEO_SOURCES_H

#include <memory>
#include <string>

#include "fieldfx/video/source.h"

namespace fieldfx::video {

std::unique_ptr<Source> openFileSource(const std::string& path, const SourceOptions& options);
std::unique_ptr<Source> openBuiltinSource(const std::string& name, const SourceOptions& options);

}  // namespace fieldfx::video

#endif
