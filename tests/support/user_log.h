#pragma once

// A small log with RPM, MAP and BLM by name (not at their fixed fields), for
// window tests that build tables from it: 6 takes at 800, 1200 and 1600 RPM.

#include <string>

namespace dlvtest {

inline const std::string kUserLog =
    "title\n"
    "TIME,RPM,MAP,BLM,TPS\n"
    "0,800,30,120,5\n"
    "1,800,30,124,5\n"
    "2,1200,40,130,20\n"
    "3,1200,40,134,20\n"
    "4,1600,50,128,50\n"
    "5,800,30,110,5\n";

}  // namespace dlvtest
