// Rules inside the client library, reached by compiling its source into this
// test (as C++, as games may).
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "kova_client.c"

namespace {

struct ParentTimesCase {
  const char* name;
  ULONGLONG parentCreated;  // 0: unreadable
  ULONGLONG ownCreated;     // 0: unreadable
  bool trusted;
};

void PrintTo(const ParentTimesCase& testCase, std::ostream* out) { *out << testCase.name; }

class ClientParentRule : public ::testing::TestWithParam<ParentTimesCase> {};

// Only a process created before the game can be the one that started it; a
// later one was given the id of a launcher that has ended.
TEST_P(ClientParentRule, TrustsOnlyAParentCreatedBeforeTheGame) {
  EXPECT_EQ(ParentCreatedFirst(GetParam().parentCreated, GetParam().ownCreated) != 0,
            GetParam().trusted);
}

// Times in 100 ns units; 132000000000000000 is in the year 2019.
constexpr ULONGLONG kGameCreated = 132000000000000000ull;

INSTANTIATE_TEST_SUITE_P(
    Times, ClientParentRule,
    ::testing::Values(ParentTimesCase{"Earlier", kGameCreated - 10000000, kGameCreated, true},
                      ParentTimesCase{"OneTickEarlier", kGameCreated - 1, kGameCreated, true},
                      ParentTimesCase{"Equal", kGameCreated, kGameCreated, false},
                      ParentTimesCase{"Later", kGameCreated + 1, kGameCreated, false},
                      ParentTimesCase{"ParentUnreadable", 0, kGameCreated, false},
                      ParentTimesCase{"OwnUnreadable", kGameCreated - 1, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

struct AncestorChainCase {
  const char* name;
  std::vector<ULONGLONG> created;  // nearest ancestor first; 0: unreadable
  size_t trusted;
};

void PrintTo(const AncestorChainCase& testCase, std::ostream* out) { *out << testCase.name; }

class ClientAncestorRule : public ::testing::TestWithParam<AncestorChainCase> {};

// Each ancestor must have been created before its child, at every step: a
// process that took the id of an ended grandparent is as untrusted as one
// that took the parent's, and so is everything above it.
TEST_P(ClientAncestorRule, TrustsTheChainUpToItsFirstLaterAncestor) {
  const std::vector<ULONGLONG>& created = GetParam().created;
  EXPECT_EQ(TrustedAncestorCount(kGameCreated, created.data(), created.size()), GetParam().trusted);
}

constexpr ULONGLONG kSecond = 10000000;

INSTANTIATE_TEST_SUITE_P(
    Chains, ClientAncestorRule,
    ::testing::Values(
        AncestorChainCase{"NoAncestor", {}, 0},
        AncestorChainCase{"EachEarlier",
                          {kGameCreated - kSecond, kGameCreated - 2 * kSecond,
                           kGameCreated - 3 * kSecond, kGameCreated - 4 * kSecond},
                          4},
        AncestorChainCase{"ParentLater", {kGameCreated + 1, kGameCreated - kSecond}, 0},
        AncestorChainCase{"GrandparentLaterThanTheParent",
                          {kGameCreated - 2 * kSecond, kGameCreated - kSecond},
                          1},
        AncestorChainCase{
            "GrandparentAsOldAsTheParent", {kGameCreated - kSecond, kGameCreated - kSecond}, 1},
        AncestorChainCase{
            "GrandparentLaterThanTheGameToo", {kGameCreated - kSecond, kGameCreated + kSecond}, 1},
        AncestorChainCase{
            "GreatGrandparentUnreadable",
            {kGameCreated - kSecond, kGameCreated - 2 * kSecond, 0, kGameCreated - 4 * kSecond},
            2},
        AncestorChainCase{
            "AboveALaterOneEarlierAgain",
            {kGameCreated - 2 * kSecond, kGameCreated - kSecond, kGameCreated - 3 * kSecond},
            1}),
    [](const auto& info) { return std::string(info.param.name); });

// Copies of the library of different versions in one game find one lock only
// if they agree on its name, so the name is fixed.
TEST(ClientQueryLock, NamedForTheProcessInEightHexDigits) {
  char name[KOVA_CLIENT_QUERY_LOCK_NAME_SIZE];
  QueryLockName(0x0001ABCDu, name);
  EXPECT_STREQ(name, "Local\\KovaClientQueryLock-0001ABCD");
  QueryLockName(0xFFFFFFFCu, name);
  EXPECT_STREQ(name, "Local\\KovaClientQueryLock-FFFFFFFC");
}

}  // namespace
