#pragma once

// Lists and zeroes both chains, with exact byte counts and numeric addresses.
inline constexpr const char iptcmd[] =
    "iptables -t mangle -xvnL -Z RTCHARTS_IN && iptables -t mangle -xvnL -Z RTCHARTS_OUT";

// Zeroes the interval counters, then adds each counted rule line's bytes to the
// first matching record of the table. Always 0.
int extractbytes(const char* text);
