// The start-up banner's quips and the rules of its show: which quip comes
// next, where it stands and in which colours, drawn from one random source.
#pragma once

#include <functional>
#include <string>

struct Quip {
    const char* first;
    const char* second;
};

constexpr int kQuipCount = 42;
extern const Quip g_Quips[kQuipCount];

struct BannerStep {
    int quip;      // row of g_Quips
    int dx, dy;    // offset from the centred position, each -149 .. 149
    bool darkText; // dark text on a light background
    int dark[3];   // 25 .. 149 per channel
    int light[3];  // 125 .. 249 per channel
};

class CBannerShow {
public:
    explicit CBannerShow(std::function<int()> rand) : m_rand(std::move(rand)) {}
    // The next quip: its row (the second quip of a run is row 0), place and colours.
    BannerStep Next();
    int Count() const { return m_count; }

private:
    std::function<int()> m_rand;
    int m_count = 0;
};
