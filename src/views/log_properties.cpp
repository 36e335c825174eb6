#include "views/log_properties.h"

#include "datalog/display_text.h"

namespace dlv {

std::vector<std::pair<std::string, std::string>> logProperties(const LogChannels& log, std::string_view fileName)
{
    const LogDetails& details = log.details();
    std::vector<std::pair<std::string, std::string>> rows;
    const auto add = [&rows](std::string label, std::string value) {
        if (!value.empty())
            rows.emplace_back(std::move(label), std::move(value));
    };
    add("File", displayText(fileName));
    add("Format", details.summary.empty() ? details.formatName : details.summary);
    add("Firmware", displayText(details.signature));
    add("Capture date", displayText(details.captureDate));
    add("Channels", groupedCount(static_cast<std::uint64_t>(std::max(log.channelCount(), 0))));
    add("Takes", groupedCount(static_cast<std::uint64_t>(std::max(log.takeCount(), 0))));
    add("Markers", groupedCount(log.markers().size()));
    add("Size", groupedCount(log.fileBytes()) + " bytes");
    for (const auto& [label, value] : details.more)
        add(displayText(label), displayText(value));
    return rows;
}

}  // namespace dlv
