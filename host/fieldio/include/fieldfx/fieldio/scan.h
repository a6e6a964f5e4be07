// How the two fields of a frame follow each other in time, one type for every
// layer: the video library's clips, --field-order (read by the runtime's
// value layer) and the frei0r plug-ins' "Field order" choice, whose entries
// are in this order (a project stores the entry's number). Progressive
// frames are split into their even lines, then their odd lines.
#ifndef FIELDFX_FIELDIO_SCAN_H
#define FIELDFX_FIELDIO_SCAN_H

namespace fieldfx::io {

enum class Scan { TopFirst, BottomFirst, Progressive };

// "tff", "bff", "progressive": what --field-order takes and the segment tags
// record.
inline const char* scanName(Scan scan) {
    switch (scan) {
        case Scan::TopFirst: return "tff";
        case Scan::BottomFirst: return "bff";
        default: return "progressive";
    }
}

}  // namespace fieldfx::io

#endif
