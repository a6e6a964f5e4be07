/*
 * A transition host for operator tests. It installs a TransHostBackend whose
 * replacement calls stand in for the whole transhost library: each call is
 * recorded into the test host's call list, masks are host images the test
 * chooses (and may write), and every step can fail or return a chosen value.
 *
 * Call records (pointers by name: "prefs" is the block named with namePrefs,
 * "req" the request handle this double handed out, anything else "other"):
 *   txGetOpImage(prefs,3,1)  txAllocRequest(0)  txSetPrefs(req,prefs)
 *   txSetTypes(req,4)  txRequest(req,0)  txGetStatus(req)
 *   txGetPrefs(req,prefs,112)  txFreeRequest(req)
 * Masks are named "mask1", "mask2", ... in the order handed out; the
 * operator hands them back with opFreeImage, which the host records.
 */
#ifndef FIELDFX_TRANSHOST_DOUBLE_H
#define FIELDFX_TRANSHOST_DOUBLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "fieldfx/services/backend.h"
#include "testhost.h"

namespace testhost {

class TransHostDouble {
public:
    explicit TransHostDouble(Host& host);  // installs its backend
    ~TransHostDouble();                    // removes it
    TransHostDouble(const TransHostDouble&) = delete;
    TransHostDouble& operator=(const TransHostDouble&) = delete;

    // The preference block that call records name "prefs".
    void namePrefs(const void* block) { prefs_ = block; }

    // ---- txGetOpImage ----
    // Each call hands out a new mask of this size, every byte `fill` (default
    // 720 x 288, 0), or null while failing.
    void setMask(int width, int height, uint8_t fill);
    // ... or one with these bytes (rows of `width`).
    void setMaskBytes(int width, int height, std::vector<uint8_t> bytes);
    // ... or one whose byte (x, y) is (x * 11 + y * 17) & 255: every level,
    // in diagonal bands, for whole-field checksums of the wipes.
    void setPatternMask(int width, int height);
    void failGetOpImage(bool fail = true) { failMask_ = fail; }
    // The last mask handed out (writable), null before the first.
    FieldImage* mask() const { return lastMask_; }
    // The 112 bytes of the block each txGetOpImage call was given.
    const std::vector<std::vector<uint8_t>>& maskPrefs() const { return maskPrefs_; }

    // ---- the preferences request ----
    void failAllocRequest(bool fail = true) { failRequest_ = fail; }
    void setSetPrefsResult(int32_t r) { setPrefsResult_ = r; }
    void setSetTypesResult(int32_t r) { setTypesResult_ = r; }
    void setRequestResult(int32_t r) { requestResult_ = r; }
    void setStatus(int32_t s) { status_ = s; }
    void setGetPrefsResult(int32_t r) { getPrefsResult_ = r; }
    // What txGetPrefs copies into the block (at most the size it is given).
    void setNewPrefs(std::vector<uint8_t> bytes) { newPrefs_ = std::move(bytes); }
    // The 112 bytes of the block as txSetPrefs was given it.
    const std::vector<uint8_t>& handedPrefs() const { return handedPrefs_; }
    // Requests allocated and not yet freed.
    int openRequests() const { return openRequests_; }

private:
    std::string pointerName(const void* p) const;
    std::vector<uint8_t> blockBytes(const void* p) const;

    FieldImage* getOpImage(void* prefs, int32_t a, int32_t b);
    void* allocRequest(int32_t kind);
    int32_t setPrefs(void* request, void* prefs);
    int32_t setTypes(void* request, int32_t types);
    int32_t runRequest(void* request, int32_t flags);
    int32_t getStatus(void* request);
    int32_t getPrefs(void* request, void* prefs, int32_t size);
    void freeRequest(void* request);

    Host& host_;
    TransHostBackend backend_{};
    const void* prefs_ = nullptr;
    int maskWidth_ = 720, maskHeight_ = 288;
    std::vector<uint8_t> maskBytes_;  // empty: every byte maskFill_
    uint8_t maskFill_ = 0;
    bool failMask_ = false;
    int maskCount_ = 0;
    FieldImage* lastMask_ = nullptr;
    std::vector<std::vector<uint8_t>> maskPrefs_;
    bool failRequest_ = false;
    int32_t setPrefsResult_ = 0, setTypesResult_ = 0, requestResult_ = 0, status_ = 1,
            getPrefsResult_ = 0;
    std::vector<uint8_t> newPrefs_;
    std::vector<uint8_t> handedPrefs_;
    int openRequests_ = 0;
    int requestToken_ = 0;  // its address is the request handle
};

}  // namespace testhost

#endif
