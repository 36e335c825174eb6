#pragma once

// Small logs that reach the reader's odd cases, and their warnings as text,
// for tests that compare two ways of reading the same bytes.
#include "datalog/take_store.h"

#include <functional>
#include <random>
#include <span>
#include <string>
#include <vector>

namespace dlvtest {

// Warnings as one text, kind and count included, for comparing two readings.
inline std::string warningsText(const std::vector<dlv::ReadWarning>& warnings)
{
    std::string text;
    for (const dlv::ReadWarning& w : warnings)
        text += std::to_string(static_cast<int>(w.kind)) + " " + std::to_string(w.count) + " " + w.message + "\n";
    return text;
}

// How randomTakes makes its lines: `width` fields each, except one line in
// `raggedOneIn`, which has fewer or more (0 to maxWidth - 1); one field in
// `oddOneIn` taken from `odd`, the others from `value`; each line ended by
// `end`.
struct RandomTakes {
    int width;
    unsigned raggedOneIn;
    int maxWidth;
    unsigned oddOneIn;
    std::span<const char* const> odd;
    std::function<std::string(std::mt19937&)> value;
    std::function<std::string(std::mt19937&)> end;
};

// takes data lines made from random as shape says.
inline std::string randomTakes(int takes, std::mt19937& random, const RandomTakes& shape)
{
    std::string lines;
    for (int t = 0; t < takes; ++t) {
        const int width = random() % shape.raggedOneIn == 0 ? static_cast<int>(random() % shape.maxWidth) : shape.width;
        for (int f = 0; f < width; ++f) {
            if (f)
                lines += ',';
            if (random() % shape.oddOneIn == 0)
                lines += shape.odd[random() % shape.odd.size()];
            else
                lines += shape.value(random);
        }
        lines += shape.end(random);
    }
    return lines;
}

// Logs that reach the reader's odd cases: line ends of every kind, a last
// line without one, ragged takes, control bytes, empty fields, non-numbers,
// no take and one take.
inline std::vector<std::string> edgeLogs()
{
    using namespace std::string_literals;
    return {
        "t\nRPM,MAP,A\n1,2,3\n4,5,6\n",
        "t\r\nRPM,MAP,A\r\n1,2,3\r\n4,5,6\r\n",
        "t\rRPM,MAP,A\r1,2,3\r4,5,6\r",
        "t\rRPM,MAP,A\r\n1,2,3\r\r\n4,5,6\n\r7,8,9",
        "t\nA,B,C\n1,2,3\n4,5,6",
        "t\nA,B,C\n1\n2,3,4,5,6\n,,\n7,8\n\n9,10,11,12\n",
        "t\nA,B\x01,C\n1,\x02,3\n4,5,6\n\x03,\x00,x\n",
        "t\nA,B\n1,2\n3,\0\n\0,\x1f\n"s,  // NUL bytes inside: a string literal keeps them
        "t\nA,B\n1,2\n3,4\n5\x07,6\n",
        "t\nA,B,C\n ,x,1e3\n-0,+4, 7 \nnan,inf,0x10\n1.5e-3,,12345678901\n",
        "t\nA,B,C\n",
        "t\nA,B,C",
        "t\nA,B,C\n\n",
        "t\nA,B,C\r",
        "t\nA,B,C\n5,6,7\n",
        "t\nA;B;C\n1;2;3\n",
        "t\nA\tB\n1\t2\n",
        "t\nsingle\n4\n5\n",
        "t\n,A,B\n1,2,3\n",
        "t\nA,,B\n1,2,3\n",
        "title only",
        "title only\n",
        "",
    };
}

}  // namespace dlvtest
