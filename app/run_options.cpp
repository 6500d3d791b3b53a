#include "app/run_options.h"

#include "app/exit_codes.h"
#include "app/messages.h"
#include "text/client_text.h"
#include "text/format.h"

#include <charconv>
#include <ctime>

#ifndef CONTARDC_VERSION
#define CONTARDC_VERSION "unknown"
#endif

namespace {

// A whole date written YYYY-MM-DD that the calendar has.
std::optional<CivilDate> parseDate(const std::string& text)
{
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        return std::nullopt;
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = -1;
        const char* end = text.data() + at + length;
        const auto [ptr, ec] = std::from_chars(text.data() + at, end, value);
        return ec == std::errc() && ptr == end ? value : -1;
    };
    const CivilDate date{number(0, 4), number(5, 2), number(8, 2)};
    // A day the calendar has comes back unchanged from its day number; the
    // 30th of February or a 13th month come back as other days.
    if (date.year < 1 || dateOfDays(daysSinceEpoch(date)) != date)
        return std::nullopt;
    return date;
}

} // namespace

std::vector<CivilDate> daysFromTo(const CivilDate& from, const CivilDate& to)
{
    std::vector<CivilDate> days;
    for (long long d = daysSinceEpoch(from); d <= daysSinceEpoch(to); ++d)
        days.push_back(dateOfDays(d));
    return days;
}

ParsedRunOptions parseRunOptions(const std::vector<std::string>& arguments, const CivilDate& today)
{
    ParsedRunOptions parsed;
    RunOptions& options = parsed.options;
    const auto fail = [&](std::string_view pattern, std::initializer_list<std::string_view> args) {
        parsed.error = formatText(pattern, args);
        parsed.ignored.clear();
        return parsed;
    };
    for (std::size_t i = 5; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if (word == "--event-log" || word == "--dry-run") {
            (word == "--dry-run" ? options.dryRun : options.eventLog) = true;
            continue;
        }
        const bool known =
            word == "--log" || word == "--metrics" || word == "--timeout" || word == "--from" || word == "--to";
        if (!known) {
            parsed.ignored.push_back(word);
            continue;
        }
        if (i + 1 >= arguments.size())
            return fail(msg::kOptionWithoutValue, {word});
        const std::string& value = arguments[++i];
        if (word == "--log") {
            options.logFile = value;
        } else if (word == "--metrics") {
            options.metricsFile = value;
        } else if (word == "--timeout") {
            int seconds = 0;
            const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
            if (ec != std::errc() || ptr != value.data() + value.size() || seconds < 1)
                return fail(msg::kBadTimeout, {programText(value)});
            options.timeoutSeconds = seconds;
        } else {
            const std::optional<CivilDate> date = parseDate(value);
            if (!date)
                return fail(msg::kBadDate, {word, programText(value)});
            (word == "--from" ? options.from : options.to) = date;
        }
    }
    if (options.to && !options.from)
        return fail(msg::kToWithoutFrom, {});
    if (options.from) {
        const CivilDate end = options.to.value_or(today);
        for (const CivilDate& date : {*options.from, end})
            if (daysSinceEpoch(date) > daysSinceEpoch(today))
                return fail(msg::kDateInFuture, {isoText(date)});
        if (daysSinceEpoch(*options.from) > daysSinceEpoch(end))
            return fail(msg::kRangeBackwards, {isoText(*options.from), isoText(end)});
        if (daysSinceEpoch(end) - daysSinceEpoch(*options.from) + 1 > 366)
            return fail(msg::kRangeTooLong, {isoText(*options.from), isoText(end)});
        options.to = end;
    }
    return parsed;
}

StandAlone standAloneRequest(const std::vector<std::string>& arguments)
{
    if (arguments.size() != 1)
        return StandAlone::None;
    if (arguments[0] == "--help")
        return StandAlone::Help;
    if (arguments[0] == "--version")
        return StandAlone::Version;
    return StandAlone::None;
}

std::string ignoredWordsText(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& word : words)
        text.append(text.empty() ? "\"" : ", \"").append(programText(word)).append("\"");
    return text;
}

std::string helpText()
{
    // The exit codes from their one table, each wrapped to the usage's width.
    constexpr std::size_t kWidth = 79;
    constexpr std::string_view kIndent = "      ";
    std::string text(msg::kHelp);
    for (const ExitCodeMeaning& row : kExitCodes) {
        text.append(row.code < 10 ? "   " : "  ").append(std::to_string(row.code)).append("  ");
        std::string words = std::string(row.meaning) + "; " + std::string(row.then) + ".";
        while (kIndent.size() + words.size() > kWidth) {
            const std::size_t cut = words.rfind(' ', kWidth - kIndent.size());
            text.append(words, 0, cut).append("\n").append(kIndent);
            words.erase(0, cut + 1);
        }
        text.append(words).append("\n");
    }
    return text;
}

std::string versionText() { return formatText(msg::kVersion, {CONTARDC_VERSION}); }
