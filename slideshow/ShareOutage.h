// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <set>
#include <stdexcept>
#include <string>

namespace kalvio {

// A file of the show did not answer within its limit: its share is asleep.
// Not a fault of the file; the show waits for it.
class FileNotAnswering : public std::runtime_error {
public:
    explicit FileNotAnswering(const std::string& path)
        : std::runtime_error("\"" + path + "\" did not answer"), path_(path) { }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// The notice shown once when a share stops answering. Thrown out of a
// handler, it reaches the general report as every error does.
class ShareNotAnswering : public std::runtime_error {
public:
    explicit ShareNotAnswering(const std::string& folder);
};

// The notice's text for `folder`.
std::string ShareNotAnsweringText(const std::string& folder);

// The share a file lies on: the mount point that holds it, read from the
// calling thread's mount table (the share itself is never asked); the file's
// folder when no mount point is found.
std::string ShareOf(const std::string& path);

// The shares that stopped answering and have not answered since. The pictures
// and the music tell it what they meet, so that one share asleep under both
// makes one notice.
class ShareOutages {
public:
    // A file of `share` did not answer: true when this begins an outage (its
    // notice is to be shown), false while one is already under way.
    bool Begin(const std::string& share);
    // A file of `share` answered: its outage, if any, is over.
    void End(const std::string& share);
    bool Out(const std::string& share) const { return out_.contains(share); }
    bool Any() const { return !out_.empty(); }

private:
    std::set<std::string> out_;
};

// The process-wide record, used on the GUI thread.
ShareOutages& TheShareOutages();

// How long a file of the show may take to answer before its share counts as
// asleep. Tests shorten it by the environment variable
// KALVIO_TEST_NO_ANSWER_MS (milliseconds), so that an outage of hours is
// simulated by a few seconds; the program never sets it.
std::chrono::milliseconds NoAnswerLimitOr(std::chrono::milliseconds fallback);

}
