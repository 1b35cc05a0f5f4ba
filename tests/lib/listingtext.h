#pragma once
#include <string>
#include <vector>

#include "ifrecord.h"

// Listings and interface tables as the tests of counting build them.

// A counted rule line in the listing's layout; extra (a mark match, say)
// follows the destination.
std::string ruleline(long long bytes, const std::string& in, const std::string& out,
                     const std::string& dest = "0.0.0.0/0", const std::string& extra = "");

// Rule lines of the in chain and of the out chain.
std::string inrule(long long bytes, const std::string& ifname,
                   const std::string& dest = "0.0.0.0/0");
std::string outrule(long long bytes, const std::string& ifname,
                    const std::string& dest = "0.0.0.0/0");

// A listing of both chains, their headers and rules.
std::string bothchains(const std::string& inrules, const std::string& outrules);

// The table that a start-up script's first and last lines give.
std::vector<IfInfo> tablefor(const char* specs, const char* labels);

// A file of tests/data, whole.
std::string readtestdata(const char* name);
