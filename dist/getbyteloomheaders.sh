#!/bin/sh
# Start-up script of byteloom: reads the configuration file, checks it and
# prints the six lines the daemon starts from (interface specifications, rate,
# today, day and history file paths, labels). A bad file is named on standard
# error and nothing is printed, so the daemon stops at once.
#
# The file is $BYTELOOM_CONF, or /etc/byteloom/byteloom.conf.
# With --listing-size it prints instead the most characters that either of the
# daemon's listings (iptables, ip6tables) of these interfaces can take, and
# with --ipv6 whether IPv6 is counted, yes or no (byteloom-chains uses both).

conf=${BYTELOOM_CONF:-/etc/byteloom/byteloom.conf}
report=headers
[ "${1:-}" = --listing-size ] && report=size
[ "${1:-}" = --ipv6 ] && report=ipv6

if [ ! -r "$conf" ] || [ -d "$conf" ]; then
    echo "byteloom: cannot read the configuration file $conf" >&2
    exit 1
fi

# Byte semantics: the daemon's field limits are bytes, and labels may be UTF-8.
LC_ALL=C exec awk -v conf="$conf" -v report="$report" '
function fail(message) {
    printf "byteloom: %s:%d: %s\n", conf, NR, message > "/dev/stderr"
    failed = 1
}

function uncomment(line,    at) {
    # A "#" at the start of a word opens a comment; labels and names never hold one.
    at = match(line, /(^|[ \t])#/)
    if (at) line = substr(line, 1, at - 1)
    sub(/^[ \t]+/, "", line)
    sub(/[ \t]+$/, "", line)
    return line
}

# iptables prints a mark as lower-case hex without leading zeros, and the
# daemon compares the text of the listing, so only that spelling can match.
function checkmark(value) {
    if (length(value) > 7) return "match value \"" value "\" is longer than 7 characters"
    if (value !~ /^0x(0|[1-9a-f][0-9a-f]*)$/)
        return "match value \"" value "\" must be written as iptables lists it, e.g. 0x2"
    return ""
}

function checkoctets(address,    octets, i) {
    if (split(address, octets, ".") != 4) return 0
    for (i = 1; i <= 4; i++)
        if (octets[i] !~ /^(0|[1-9][0-9]?[0-9]?)$/ || octets[i] + 0 > 255) return 0
    return 1
}

function hostbitsclear(address, prefix,    octets, i, bits, keep, block) {
    split(address, octets, ".")
    for (i = 1; i <= 4; i++) {
        keep = prefix - 8 * (i - 1)
        if (keep >= 8) continue
        block = keep <= 0 ? 256 : 2 ^ (8 - keep)
        if (octets[i] % block != 0) return 0
    }
    return 1
}

# The destination is compared with the listing as text too: an IPv4 address,
# or a network with its host bits clear, the way iptables prints it.
function checkdest(dest,    parts, n, prefix) {
    if (length(dest) > 31) return "destination \"" dest "\" is longer than 31 characters"
    n = split(dest, parts, "/")
    if (n > 2 || !checkoctets(parts[1]))
        return "destination \"" dest "\" is not an IPv4 address or address/prefix"
    if (n == 1) return ""
    prefix = parts[2]
    if (prefix !~ /^[0-9]+$/ || prefix + 0 > 32)
        return "destination \"" dest "\" has a bad prefix length"
    if (prefix + 0 == 32) return "destination \"" dest "\" must be written without /32"
    if (prefix + 0 == 0) return "destination \"" dest "\" matches everything; use a plain interface"
    if (!hostbitsclear(parts[1], prefix + 0))
        return "destination \"" dest "\" has host bits set; write the network address"
    return ""
}

function checkifname(name) {
    if (name == "") return "interface specification without a name"
    if (length(name) > 15) return "interface name \"" name "\" is longer than 15 characters"
    if (name !~ /^[A-Za-z0-9_.-]+[+]?$/) return "interface name \"" name "\" holds a character iptables rejects"
    return ""
}

function checkspec(spec,    parts, n, problem) {
    n = split(spec, parts, ":")
    if (n != 1 && n != 3) return "interface \"" spec "\" must be ifname or ifname:matchval:dest"
    problem = checkifname(parts[1])
    if (problem == "" && n == 3) problem = checkmark(parts[2])
    if (problem == "" && n == 3) problem = checkdest(parts[3])
    return problem
}

function checklabel(label) {
    if (length(label) > 255) return "label \"" label "\" is longer than 255 characters"
    if (label ~ /[\001-\037\177]/) return "label holds a control character"
    if (label ~ /#/) return "label \"" label "\" holds a \"#\""
    return ""
}

# A catch-all ahead of a qualified entry of the same interface takes all of
# its traffic, so the qualified one would never count a byte.
function checkshadow(spec, name) {
    if (spec in seenspec) return "interface \"" spec "\" is listed twice"
    if (name in catchall) return "interface \"" spec "\" comes after \"" name "\", which takes all its traffic"
    return ""
}

# The daemon captures at most 16382 characters of listing a second; the
# widths below are those of `iptables -t mangle -xvnL -Z CHAIN` (1.8.9, legacy
# and nft alike) for the rules byteloom-chains makes, measured with both
# counters at 2^64-1. A rule line is 118 characters with an interface name of
# up to 6, one more per further character, and " mark match VALUE" after
# the destination column (every destination fits that 20-character column);
# then the newline.
function rulelinewidth(name, mark) {
    return 118 + (length(name) > 6 ? length(name) - 6 : 0) + (mark == "" ? 0 : 12 + length(mark)) + 1
}

# The chain header (one jump refers to the chain), the column header and the
# line that -Z adds, "Zeroing chain `CHAIN" and a closing quote, each with
# its newline.
function chainlineswidth(chain) {
    return length("Chain " chain " (1 references)") + 1 + 96 + 1 + length("Zeroing chain `" chain) + 2
}

# The entry is listed once per chain; the plain entry of an interface that
# has qualified ones carries the 0x0/0x0 mark test byteloom-chains gives it.
# ip6tables prints "::/0" in the same 20-character address columns; a
# qualified entry has an IPv4 destination and no IPv6 rule.
function addlistingwidth(spec, name,    parts, mark) {
    if (spec != name) {
        split(spec, parts, ":")
        mark = parts[2]
        qualifiedname[name] = 1
    } else if (name in qualifiedname) {
        mark = "0x0/0x0"
    }
    listing += 2 * rulelinewidth(name, mark)
    if (spec == name) listing6 += 2 * rulelinewidth(name, mark)
}

function checklisting(    widest, which) {
    widest = listing; which = "iptables"
    if (ipv6 == "yes" && listing6 > widest) { widest = listing6; which = "ip6tables" }
    if (widest <= CAPTURE) return
    printf "byteloom: %s: %d interface entries can make an %s listing of %d characters, more than the %d the daemon reads each second; account fewer interfaces\n", conf, count, which, widest, CAPTURE > "/dev/stderr"
    failed = 1
}

function setipv6(line,    value) {
    value = line; sub(/^[^=]*=[ \t]*/, "", value)
    if (ipv6given) { fail("setting \"IPV6\" is given twice"); return }
    ipv6given = 1
    if (value != "yes" && value != "no") { fail("IPV6 must be yes or no"); return }
    ipv6 = value
}

# The six lines go through the same capture at start-up.
function checkoutput(output) {
    if (length(output) <= CAPTURE) return
    printf "byteloom: %s: the start-up output would be %d characters, more than the %d the daemon reads; use shorter labels or paths\n", conf, length(output), CAPTURE > "/dev/stderr"
    failed = 1
}

function addinterface(line,    fields, spec, label, name, problem) {
    if (split(line, fields, /[ \t]+/) != 2) {
        fail("expected \"<interface> <label>\", got \"" line "\"")
        return
    }
    spec = fields[1]; label = fields[2]
    name = spec; sub(/:.*/, "", name)
    problem = checkspec(spec)
    if (problem == "") problem = checkshadow(spec, name)
    if (problem == "") problem = checklabel(label)
    if (problem == "" && label in seenlabel) problem = "label \"" label "\" is used twice"
    if (problem != "") { fail(problem); return }
    seenspec[spec] = 1; seenlabel[label] = 1
    if (spec == name) catchall[name] = 1
    count++
    addlistingwidth(spec, name)
    specs = specs (count > 1 ? " " : "") spec
    labels = labels (count > 1 ? " " : "") label
}

function addpath(line,    key, value) {
    key = line; sub(/[ \t]*=.*/, "", key)
    value = line; sub(/^[^=]*=[ \t]*/, "", value)
    if (!(key in path)) { fail("unknown setting \"" key "\""); return }
    if (key in setpath) { fail("setting \"" key "\" is given twice"); return }
    setpath[key] = 1
    if (value !~ /^\//) { fail(key " must be an absolute path"); return }
    if (length(value) > 511) { fail(key " is longer than 511 characters"); return }
    if (value ~ /[\001-\037\177]/) { fail(key " holds a control character"); return }
    path[key] = value
}

function checkdistinctpaths(    i, j) {
    for (i = 1; i <= 4; i++)
        for (j = i + 1; j <= 4; j++)
            if (path[keys[i]] == path[keys[j]]) {
                printf "byteloom: %s: %s and %s are the same file\n", conf, keys[i], keys[j] > "/dev/stderr"
                failed = 1
            }
}

BEGIN {
    CAPTURE = 16382
    listing = chainlineswidth("RTCHARTS_IN") + chainlineswidth("RTCHARTS_OUT")
    listing6 = listing
    ipv6 = "yes"
    split("RATE_FILE TODAY_FILE DAY_FILE HISTORY_FILE", keys, " ")
    path["RATE_FILE"] = "/run/byteloom/rate"
    path["TODAY_FILE"] = "/run/byteloom/today"
    path["DAY_FILE"] = "/var/lib/byteloom/day"
    path["HISTORY_FILE"] = "/var/lib/byteloom/history"
}

{
    line = uncomment($0)
    if (line == "") next
    if (line ~ /^IPV6[ \t]*=/) setipv6(line)
    else if (line ~ /^[A-Za-z0-9_]+[ \t]*=/) addpath(line)
    else addinterface(line)
}

END {
    if (count == 0 && !failed) {
        printf "byteloom: %s: names no interface to account\n", conf > "/dev/stderr"
        failed = 1
    }
    checkdistinctpaths()
    if (!failed) checklisting()
    output = specs "\n"
    for (i = 1; i <= 4; i++) output = output path[keys[i]] "\n"
    output = output labels "\n"
    if (!failed) checkoutput(output)
    if (failed) exit 1
    if (report == "size") print (ipv6 == "yes" && listing6 > listing ? listing6 : listing)
    else if (report == "ipv6") print ipv6
    else printf "%s", output
}' "$conf"
