#include "datalog/afsep.h"

namespace dlv {

std::string_view AFSEP(std::string_view strString, long long intNthOccurance, std::string_view strSeperator)
{
    if (intNthOccurance < 0)
        return {};
    if (strSeperator.empty())  // nothing separates: the line is its only field
        return intNthOccurance == 0 ? strString : std::string_view{};

    std::size_t start = 0;
    for (long long k = 0; k < intNthOccurance; ++k) {
        const std::size_t sep = strString.find(strSeperator, start);
        if (sep == std::string_view::npos)
            return {};
        start = sep + strSeperator.size();
    }
    const std::size_t end = strString.find(strSeperator, start);
    return strString.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace dlv
