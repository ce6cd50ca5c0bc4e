// LAZ: how the point items predict a coordinate's next difference from the
// differences before it.
#ifndef HOLVANE_LAZ_PREDICTORS_H
#define HOLVANE_LAZ_PREDICTORS_H

#include <cstdint>

// Five recent differences, kept in order. A new one pushes out the
// highest or the lowest, by turns: the turn passes to the other end only
// when the new difference lands on the side of the middle that the last
// push emptied. The middle one is the prediction. It is no true median,
// but it is the rule the writers follow, so it is the decoder's too.
struct LazDifferenceWindow {
    int32_t sorted[5] = {0, 0, 0, 0, 0};
    bool dropHighest = true;
};

inline int32_t lazPredictedDifference(const LazDifferenceWindow &w)
{
    return w.sorted[2];
}

inline void lazAddDifference(LazDifferenceWindow *w, int32_t d)
{
    int32_t *v = w->sorted;
    int at;
    if (w->dropHighest) {
        // Slide up from the top, overwriting the highest, to d's place.
        w->dropHighest = d < v[2];
        for (at = 4; at > 0 && d < v[at - 1]; --at)
            v[at] = v[at - 1];
    } else {
        w->dropHighest = !(v[2] < d);
        for (at = 0; at < 4 && v[at + 1] < d; ++at)
            v[at] = v[at + 1];
    }
    v[at] = d;
}

// The middle one of three differences (POINT10 version 1).
inline int32_t lazMiddleOfThree(int32_t a, int32_t b, int32_t c)
{
    const int32_t low = a < b ? a : b, high = a < b ? b : a;
    return c < low ? low : c > high ? high : c;
}

#endif
