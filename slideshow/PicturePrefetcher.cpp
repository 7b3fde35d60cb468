#include "slideshow/PicturePrefetcher.h"

#include <system_error>
#include <utility>

#include "platform/JpegLoader.h"

namespace kalvio {

PicturePrefetcher::PicturePrefetcher(Decoder decode) : decode_(std::move(decode))
{
    if (!decode_)
        decode_ = [](const std::string& path) { return LoadPictureFile(path); };
}

PicturePrefetcher::~PicturePrefetcher()
{
    Join();
}

void PicturePrefetcher::Join()
{
    if (worker_.joinable())
        worker_.join();
}

void PicturePrefetcher::Cancel()
{
    Join();
    std::lock_guard lock(mutex_);
    holding_ = false;
    index_ = -1;
    path_.clear();
    picture_.reset();
    error_ = nullptr;
}

void PicturePrefetcher::Start(int index, const std::string& path)
{
    {
        std::lock_guard lock(mutex_);
        if (holding_ && index_ == index && path_ == path)
            return;
    }
    // At most one picture ahead: the previous one goes before the next decodes.
    Cancel();
    {
        std::lock_guard lock(mutex_);
        holding_ = true;
        index_ = index;
        path_ = path;
    }
    try {
        worker_ = std::thread([this, path] {
            std::shared_ptr<const Bitmap> picture;
            std::exception_ptr error;
            try {
                picture = std::make_shared<const Bitmap>(decode_(path));
            } catch (...) {
                error = std::current_exception();
            }
            std::lock_guard lock(mutex_);
            picture_ = std::move(picture);
            error_ = error;
        });
    } catch (const std::system_error&) {
        // No thread: the tick loads the picture itself.
        std::lock_guard lock(mutex_);
        holding_ = false;
    }
}

std::shared_ptr<const Bitmap> PicturePrefetcher::Take(int index, const std::string& path)
{
    Join();
    std::lock_guard lock(mutex_);
    const bool match = holding_ && index_ == index && path_ == path;
    std::shared_ptr<const Bitmap> picture = std::move(picture_);
    std::exception_ptr error = std::move(error_);
    holding_ = false;
    index_ = -1;
    path_.clear();
    picture_.reset();
    error_ = nullptr;
    if (!match)
        return nullptr;
    if (error)
        std::rethrow_exception(error);
    return picture;
}

}
