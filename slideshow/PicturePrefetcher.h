#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Bitmap.h"

namespace kalvio {

// Decodes one picture ahead on a worker thread and keeps at most one result:
// the picture or the failure of its decode, keyed by list index and path. The
// worker only decodes into its own bitmap; nothing else runs on it.
class PicturePrefetcher {
public:
    using Decoder = std::function<Bitmap(const std::string& path)>;

    // `decode` runs on the worker; by default LoadPictureFile.
    explicit PicturePrefetcher(Decoder decode = {});
    ~PicturePrefetcher();
    PicturePrefetcher(const PicturePrefetcher&) = delete;
    PicturePrefetcher& operator=(const PicturePrefetcher&) = delete;

    // Drops what is held (waiting for a decode in flight) and starts decoding
    // `path` as entry `index`; nothing when that entry is already held.
    void Start(int index, const std::string& path);
    // The picture decoded ahead for this entry, waiting for its decode to end;
    // rethrows the decode's failure. nullptr when nothing was decoded ahead for
    // this entry. Either way nothing is held afterwards.
    std::shared_ptr<const Bitmap> Take(int index, const std::string& path);
    // Waits for a decode in flight and drops what is held.
    void Cancel();
    // Decodes on the calling thread, as the worker would.
    Bitmap Decode(const std::string& path) const { return decode_(path); }

private:
    void Join();

    Decoder decode_;
    std::thread worker_;
    std::mutex mutex_;
    bool holding_ = false;
    int index_ = -1;
    std::string path_;
    std::shared_ptr<const Bitmap> picture_;
    std::exception_ptr error_;
};

}
