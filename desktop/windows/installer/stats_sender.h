#ifndef DESKTOP_WINDOWS_INSTALLER_STATS_SENDER_H_
#define DESKTOP_WINDOWS_INSTALLER_STATS_SENDER_H_

#include <string>

#include "base/callback.h"

namespace installer {

class Stats;

// How often a report is tried again when the network is to be waited for.
constexpr int kStatsSendRetries = 5;
// The longest a report takes, its tries included: the run it reports on has ended, and
// nobody should wait long for its statistics.
constexpr int kStatsSendMaxSeconds = 10;

// Sends |stats| as JSON (a POST of "application/json") to the statistics endpoint
// (GetStatsUrl) and runs |done| on the calling thread, which must run a MessageLoop, once
// that has succeeded or failed. With |wait_for_network| a failed report is retried
// (kStatsSendRetries times, with growing delays, for kStatsSendMaxSeconds at most, and not
// again once the server refused connections WininetDownloader::kMaxRefusedConnections times): the installer
// reached the network before. Without it the report is tried once, so that an installation that never needed
// the network does not wait for one at its end. The statistics are read at once; |stats|
// need not outlive the call.
void SendStats(Stats* stats, base::Closure done, bool wait_for_network);

// The autoupdate server's address (product configuration "urls.autoupdate") followed by
// "divedazaveve/feedback".
std::wstring GetStatsUrl();

// Tests: replaces the autoupdate server's address in GetStatsUrl ("" restores it).
void SetStatsServerForTesting(const std::string& base_url);

}  // namespace installer

#endif  // DESKTOP_WINDOWS_INSTALLER_STATS_SENDER_H_
