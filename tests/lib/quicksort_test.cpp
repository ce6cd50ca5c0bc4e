// Index-carrying quicksorts: the exact arrays the partition steps produce.
#include "HOLVANE_LiDAR.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <numeric>
#include <pthread.h>
#include <random>
#include <vector>

namespace
{

// Straightforward recursive transcription of the partition steps.
template <typename T> void transcribedSort(T *p, int32_t left, int32_t right, int32_t *p_ind)
{
    int32_t i = left, j = right;
    const T v = p[left + (right - left) / 2];
    do {
        while (p[i] < v && i < right)
            i++;
        while (p[j] > v && j > left)
            j--;
        if (i <= j) {
            std::swap(p[i], p[j]);
            std::swap(p_ind[i], p_ind[j]);
            i++;
            j--;
        }
    } while (i <= j);
    if (left < j)
        transcribedSort(p, left, j, p_ind);
    if (i < right)
        transcribedSort(p, i, right, p_ind);
}

std::vector<int32_t> identity(size_t n)
{
    std::vector<int32_t> ind(n);
    std::iota(ind.begin(), ind.end(), 0);
    return ind;
}

struct IntCase {
    std::vector<int32_t> values, sorted, ind;
};

TEST(Quicksort, ExamplesGiveTheirExactPermutations)
{
    const IntCase table[] = {
        {{3, 1, 2}, {1, 2, 3}, {1, 2, 0}},
        {{5, 5}, {5, 5}, {1, 0}},
        {{5, 5, 5}, {5, 5, 5}, {2, 1, 0}},
        {{2, 1}, {1, 2}, {1, 0}},
        {{1, 2, 3, 4}, {1, 2, 3, 4}, {0, 1, 2, 3}},
        {{1, 2, 2, 3}, {1, 2, 2, 3}, {0, 2, 1, 3}},
        {{7}, {7}, {0}},
    };
    for (const IntCase &c : table) {
        for (auto sort : {l_quicksort, l_parallel_quicksort}) {
            std::vector<int32_t> p = c.values, ind = identity(p.size());
            sort(p.data(), static_cast<int32_t>(p.size()), ind.data());
            EXPECT_EQ(p, c.sorted);
            EXPECT_EQ(ind, c.ind);
        }
    }
}

TEST(Quicksort, CountZeroTouchesNothing)
{
    // Null arrays: any read would crash.
    l_quicksort(nullptr, 0, nullptr);
    l_parallel_quicksort(nullptr, 0, nullptr);
    d_quicksort(nullptr, 0, nullptr);
    d_parallel_quicksort(nullptr, 0, nullptr);
}

TEST(Quicksort, IntegersMatchTheTranscriptionOnRandomInputs)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 400; ++round) {
        const size_t n = 1 + rng() % 300;
        const int32_t spread = round % 3 == 0 ? 3 : round % 3 == 1 ? 50 : INT32_MAX;
        std::vector<int32_t> values(n);
        for (int32_t &v : values)
            v = static_cast<int32_t>(rng() % static_cast<uint32_t>(spread)) - spread / 2;
        std::vector<int32_t> expected = values, expectedInd = identity(n);
        transcribedSort(expected.data(), 0, static_cast<int32_t>(n) - 1, expectedInd.data());
        for (auto sort : {l_quicksort, l_parallel_quicksort}) {
            std::vector<int32_t> p = values, ind = identity(n);
            sort(p.data(), static_cast<int32_t>(n), ind.data());
            ASSERT_EQ(p, expected) << "round " << round;
            ASSERT_EQ(ind, expectedInd) << "round " << round;
        }
    }
}

std::vector<uint64_t> bitsOf(const std::vector<double> &v)
{
    std::vector<uint64_t> bits;
    for (double d : v)
        bits.push_back(std::bit_cast<uint64_t>(d));
    return bits;
}

TEST(Quicksort, DoublesWithNanAndSignedZerosMatchTheTranscription)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double pool[] = {
        nan, -0.0, 0.0, 1.5, -1.5, 1e300, -std::numeric_limits<double>::infinity(), 2.0, 2.0};
    std::mt19937 rng(7);
    for (int round = 0; round < 400; ++round) {
        const size_t n = 1 + rng() % 200;
        std::vector<double> values(n);
        for (double &v : values)
            v = pool[rng() % std::size(pool)];
        std::vector<double> expected = values;
        std::vector<int32_t> expectedInd = identity(n);
        transcribedSort(expected.data(), 0, static_cast<int32_t>(n) - 1, expectedInd.data());
        for (auto sort : {d_quicksort, d_parallel_quicksort}) {
            std::vector<double> p = values;
            std::vector<int32_t> ind = identity(n);
            sort(p.data(), static_cast<int32_t>(n), ind.data());
            ASSERT_EQ(bitsOf(p), bitsOf(expected)) << "round " << round;
            ASSERT_EQ(ind, expectedInd) << "round " << round;
        }
    }
}

TEST(Quicksort, ZerosOfBothSignsCountAsEqual)
{
    std::vector<double> p = {0.0, -0.0};
    std::vector<int32_t> ind = identity(2);
    d_quicksort(p.data(), 2, ind.data());
    EXPECT_EQ(ind, (std::vector<int32_t>{1, 0})); // exchanged as equal values are
    EXPECT_TRUE(std::signbit(p[0]));
}

// An input on which the middle pivot splits off one element at a time,
// built by McIlroy's adversary: values are fixed only when a comparison
// needs them, always so that the pivot is the smallest value left.
std::vector<int32_t> adversarialInput(int32_t n, int32_t *depth)
{
    const int32_t gas = n; // larger than every frozen value
    std::vector<int32_t> val(static_cast<size_t>(n), gas), a = identity(static_cast<size_t>(n));
    int32_t nsolid = 0;
    auto freeze = [&](int32_t item) { val[static_cast<size_t>(item)] = nsolid++; };
    struct Range {
        int32_t left, right, level;
    };
    std::vector<Range> stack = {{0, n - 1, 1}};
    *depth = 0;
    while (!stack.empty()) {
        const Range r = stack.back();
        stack.pop_back();
        *depth = std::max(*depth, r.level);
        const int32_t pivot = a[static_cast<size_t>(r.left + (r.right - r.left) / 2)];
        if (val[static_cast<size_t>(pivot)] == gas)
            freeze(pivot);
        const int32_t v = val[static_cast<size_t>(pivot)];
        int32_t i = r.left, j = r.right;
        do {
            while (val[static_cast<size_t>(a[static_cast<size_t>(i)])] < v && i < r.right)
                i++;
            while (val[static_cast<size_t>(a[static_cast<size_t>(j)])] > v && j > r.left)
                j--;
            if (i <= j)
                std::swap(a[static_cast<size_t>(i++)], a[static_cast<size_t>(j--)]);
        } while (i <= j);
        if (i < r.right)
            stack.push_back({i, r.right, r.level + 1});
        if (r.left < j)
            stack.push_back({r.left, j, r.level + 1});
    }
    return val;
}

void *sortAdversarial(void *input)
{
    auto *values = static_cast<std::vector<int32_t> *>(input);
    std::vector<int32_t> ind = identity(values->size());
    l_quicksort(values->data(), static_cast<int32_t>(values->size()), ind.data());
    return nullptr;
}

TEST(Quicksort, AdversarialInputSortsOnASmallStack)
{
    int32_t depth = 0;
    std::vector<int32_t> values = adversarialInput(100000, &depth);
    ASSERT_GT(depth, 10000); // the plain recursion would go this deep
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attr, sortAdversarial, &values), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
}

} // namespace
