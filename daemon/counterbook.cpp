#include "counterbook.h"

#include <cstring>

#include "sampling.h"

namespace {

uint64_t rulehash(bool outbound, std::string_view rule) {
  uint64_t hash = outbound ? 0xcbf29ce484222325ULL : 0x84222325cbf29ce4ULL;
  for (char c : rule) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
  return hash;
}

bool same(const CounterBook& book, const CounterEntry& entry, uint64_t hash, bool outbound,
          std::string_view rule) {
  return entry.hash == hash && entry.outbound == outbound && book.ruleof(entry) == rule;
}

// The previous entry of the same rule: the one at the same place while the
// listing repeats the previous reading's order, else the one that holds the
// same place among equal rules (the n-th equal line takes the n-th equal entry).
CounterEntry* findprevious(CounterBook& previous, const CounterBook& next, bool& inorder,
                           uint64_t hash, bool outbound, std::string_view rule) {
  size_t at = next.size;
  if (inorder && at < previous.size && same(previous, previous.entries[at], hash, outbound, rule))
    return &previous.entries[at];
  inorder = false;
  size_t place = 0;
  for (size_t i = 0; i < next.size; ++i)
    if (same(next, next.entries[i], hash, outbound, rule)) ++place;
  for (size_t i = 0; i < previous.size; ++i)
    if (same(previous, previous.entries[i], hash, outbound, rule) && place-- == 0)
      return &previous.entries[i];
  return nullptr;
}

}  // namespace

bool CounterBook::add(bool outbound, std::string_view rule, int64_t bytes) {
  if (size == kbookentries || rule.size() > kbooktext - textsize) return false;
  if (!rule.empty()) memcpy(text + textsize, rule.data(), rule.size());
  entries[size] = {rulehash(outbound, rule),
                   static_cast<uint32_t>(textsize),
                   static_cast<uint32_t>(rule.size()),
                   bytes,
                   outbound,
                   false};
  ++size;
  textsize += rule.size();
  return true;
}

Growth countgrowth(std::string_view listing, bool whole, std::span<IfInfo> table,
                   std::string_view anydest, CounterBook& previous, CounterBook& next) {
  Growth growth;
  next.clear();
  for (size_t i = 0; i < previous.size; ++i) previous.entries[i].taken = false;
  bool inorder = true;
  ListedChains listed = walklisting(listing, anydest, [&](const RuleLine& line, bool outbound) {
    uint64_t hash = rulehash(outbound, line.rule);
    CounterEntry* before = findprevious(previous, next, inorder, hash, outbound, line.rule);
    int64_t grown = line.bytes;
    if (before == nullptr)
      ++growth.newrules;
    else if (line.bytes < before->bytes)
      ++growth.wentdown;
    else
      grown = line.bytes - before->bytes;
    if (before != nullptr) before->taken = true;
    if (IfInfo* record = findrecord(table, line)) addbytes(*record, outbound, grown);
    if (!next.add(outbound, line.rule, line.bytes)) ++growth.dropped;
  });
  for (size_t i = 0; i < previous.size; ++i) {
    const CounterEntry& entry = previous.entries[i];
    bool listedwhole = whole && (entry.outbound ? listed.out : listed.in);
    if (entry.taken) continue;
    if (listedwhole) {
      ++growth.gone;
      continue;
    }
    if (next.add(entry.outbound, previous.ruleof(entry), entry.bytes))
      ++growth.kept;
    else
      ++growth.dropped;
  }
  return growth;
}
