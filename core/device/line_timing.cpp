#include "core/device/line_timing.h"

LineTiming &LineTiming::current() {
    static LineTiming timing;
    return timing;
}
