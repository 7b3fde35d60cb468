// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/FolderIo.h"
#include "catalogue/InOutError.h"

// Folder listings read ahead of a scan by a small pool of threads, so that
// several folder reads and entry look-ups are in flight at once (on a network
// share the time of a scan is round trips). The scan itself stays the
// sequential walk of FolderScan.h: it takes each folder's listing from here
// instead of reading it, and so gives exactly the sequential walk's list,
// errors included.
//
// Everything is kept per folder identity (device and inode), never per path:
// a folder's listing and what each of its entries is (the look-up, the open
// of a sub-folder and its identity) do not depend on the path that led to it.
// So several scans can share one read-ahead (the picture folder and a music
// folder inside it, or the other way round) and every folder is read once.
// Folders are read in the order a depth-first walk from the first start
// folder meets them, then from the next.
//
// The threads are detached and own everything they use: a scan that ends or
// is abandoned stops them, and a thread stuck in a call on a dead share is
// simply left behind.
namespace kalvio {

// An entry of a folder, as the walk would find it.
struct AheadEntry {
    folderio::Kind kind = folderio::Kind::Other;
    // For a folder: the errno of opening it, then of asking its identity.
    int openError = 0;
    int idError = 0;
    folderio::FolderId id {};
    // Looked at only when its device differs from the listed folder's.
    bool pseudo = false;
};

// A folder read ahead: its sorted listing and one AheadEntry per item.
struct AheadFolder {
    folderio::FolderId id {};
    int readError = 0;
    folderio::Listing listing;
    std::vector<AheadEntry> entries;
};

// A start folder opened by its path.
struct AheadStart {
    int openError = 0;
    int idError = 0;
    folderio::FolderId id {};
    bool pseudo = false;
};

// Thrown by a scan that noticed its cancel flag.
struct ScanCancelled {};

// Whether a folder's listing is kept once a scan took it: for a second scan
// over the same folders, or dropped, so that only the folders read ahead of
// the scan are held.
enum class AfterUse : uint8_t { Keep, Drop };

class ReadAhead {
public:
    // Starts `threads` detached threads reading the trees under the start
    // folders' paths (as the scan opens them).
    static ReadAhead Launch(std::vector<std::string> startPaths, unsigned threads, AfterUse afterUse);

    // The start folder `index`, once opened. Throws ScanCancelled when
    // `cancel` is set meanwhile.
    AheadStart StartFolder(size_t index, const std::atomic<bool>* cancel);
    // Folder `id` once read, or nullptr when it is not read ahead (the scan
    // then reads it itself): never met by the threads, of a pseudo file
    // system, beyond their means (out of descriptors, path too long), or
    // taken before and dropped.
    std::shared_ptr<const AheadFolder> Folder(folderio::FolderId id, const std::atomic<bool>* cancel);

    // Ends the threads' work: they finish the call they are in and exit.
    void Stop();

    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    struct State;

private:
    explicit ReadAhead(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

// What a scan run with a read-ahead reports while it runs.
struct ScanWatch {
    const std::atomic<bool>* cancel = nullptr;
    std::atomic<size_t>* found = nullptr; // the list's length, after each folder
};

// The path the scan of `folder` opens its start folder by.
std::string ScanStartPath(const std::string& folder);

// A second scan of the same folder text made in the same walk: its list
// stops at its own first error, which can only be a file's path too long
// (any other error ends both scans).
struct SecondList {
    std::string_view filter;
    std::vector<std::string>& list;
    std::optional<InOutError> error;
};

// ScanFolder of FolderScan.h, taking the listings from `ahead`, whose start
// folder `startIndex` is `folder`; with `second`, filling its list as well.
void ScanFolderAhead(const std::string& folder, std::string_view filter, std::vector<std::string>& list,
                     ReadAhead& ahead, size_t startIndex, const ScanWatch& watch, SecondList* second = nullptr);

}
