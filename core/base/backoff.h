#ifndef ZR_CORE_BASE_BACKOFF_H
#define ZR_CORE_BASE_BACKOFF_H

// A growing delay between attempts to reach something that went away (a port, a broker): the
// first after `firstMs`, each next one twice as long, at most `maxMs`; reset() after a success.
class Backoff {
public:
    explicit Backoff(int firstMs = 500, int maxMs = 30000) : first(firstMs), max(maxMs), next(firstMs) {}
    // The delay before the next attempt; the one after it doubles.
    int nextDelayMs() {
        const int delay = next;
        next = next > max / 2 ? max : next * 2;
        return delay;
    }
    void reset() { next = first; }

private:
    int first;
    int max;
    int next;
};

#endif
