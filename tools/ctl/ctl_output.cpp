#include "ctl_output.h"

#include "status_fields.h"

#include <history_entry.h>
#include <history_reader.h>

#include <nlohmann/json.hpp>

namespace {

std::string HexOf(const std::uint8_t* bytes, std::size_t size) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

std::string NumberText(double value) {
    nlohmann::json number = value;
    if (value == static_cast<double>(static_cast<long long>(value))) {
        number = static_cast<long long>(value);
    }
    return number.dump();
}

// "Position x: 10000", ..., "End X: off", one per line.
std::string FullStatusText(const StatusReport& status) {
    static const std::pair<const char*, const char*> kCaptions[] = {
        {"x", "Position x"},        {"y", "Position y"},
        {"z", "Position z"},        {"c", "Position c"},
        {"mode", "Mode"},           {"fill", "Buffer fill (%)"},
        {"error", "Error code"},    {"counter", "Frame counter"},
        {"end_x", "End X"},         {"end_y", "End Y"},
        {"end_z", "End Z"},         {"end_c", "End C"},
        {"emergency", "Emergency"}, {"spindle", "Spindle"},
        {"cooling", "Cooling"},     {"sleep", "Sleep"},
        {"boost", "Boost"}};
    std::string text;
    for (const auto& [field, caption] : kCaptions) {
        const double value = StatusField(status, field);
        text += std::string(caption) + ": " +
                (IsStatusBit(field) ? (value != 0 ? "on" : "off") : NumberText(value)) + "\n";
    }
    return text;
}

} // namespace

CtlOutput::CtlOutput(OutputFormat format, std::FILE* out, std::FILE* err)
    : format_(format), out_(out), err_(err) {}

void CtlOutput::begin() {
    if (format_ == OutputFormat::Csv) {
        line(std::string(kHistoryCsvHeader));
    }
}

void CtlOutput::line(const std::string& text) {
    std::fputs(text.c_str(), out_);
    std::fputc('\n', out_);
    // Whoever reads a pipe sees each line as it happens.
    if (std::fflush(out_) != 0 && !closed_) {
        closed_ = true;
        if (onClosed_) {
            onClosed_();
        }
    }
}

void CtlOutput::csvRow(std::string_view raw) {
    const std::optional<HistoryEntry> entry = ParseHistoryEntry(raw);
    if (!entry) {
        return;
    }
    std::string row;
    AppendCsvRow(++csvIndex_, raw, *entry, row);
    line(row);
}

void CtlOutput::frameSent(const SentFrame& frame, const Step& step) {
    switch (format_) {
    case OutputFormat::Csv:
        csvRow(frame.line);
        return;
    case OutputFormat::Json: {
        nlohmann::json object{{"type", "frame"},
                              {"command", CommandKindName(frame.command.kind)},
                              {"hex", HexOf(frame.bytes.data(), frame.bytes.size())},
                              {"text", DescribeCommand(frame.command)}};
        if (frame.command.counter) {
            object["counter"] = *frame.command.counter;
        }
        if (step.line != 0) {
            object["line"] = step.line;
        }
        line(object.dump());
        return;
    }
    case OutputFormat::Text:
        // A request shows as its answer.
        if (frame.command.kind == CommandKind::StatusRequest) {
            return;
        }
        line((step.line != 0 ? "line " + std::to_string(step.line) + ": " : std::string()) +
             "sent " + DescribeCommand(frame.command));
        return;
    }
}

void CtlOutput::status(const StatusReport& status, const ReceivedBlock& block,
                       std::int32_t elapsedMs, bool full) {
    switch (format_) {
    case OutputFormat::Csv:
        csvRow(ReceivedLine(block, elapsedMs));
        return;
    case OutputFormat::Json: {
        nlohmann::json object{{"type", "status"}};
        for (const std::string& field : StatusFieldNames()) {
            const double value = StatusField(status, field);
            if (IsStatusBit(field)) {
                object[field] = value != 0;
            } else {
                object[field] = static_cast<long long>(value);
            }
        }
        object["elapsed_ms"] = elapsedMs;
        object["hex"] = HexOf(block.data(), block.size());
        line(object.dump());
        return;
    }
    case OutputFormat::Text:
        if (full) {
            std::fputs(FullStatusText(status).c_str(), out_);
            std::fflush(out_);
        } else {
            line(DescribeStatus(status));
        }
        return;
    }
}

void CtlOutput::stepDone(const Step& step, const std::string& result, bool ok) {
    const std::string where = step.line != 0 ? "line " + std::to_string(step.line) + ": " : "";
    switch (format_) {
    case OutputFormat::Json: {
        nlohmann::json object{
            {"type", "step"}, {"step", step.words}, {"ok", ok}, {"result", result}};
        if (step.line != 0) {
            object["line"] = step.line;
        }
        line(object.dump());
        return;
    }
    case OutputFormat::Csv:
        std::fprintf(err_, "%s%s: %s\n", where.c_str(), step.words.c_str(), result.c_str());
        return;
    case OutputFormat::Text:
        line(where + step.words + ": " + result);
        return;
    }
}

void CtlOutput::stopped(const std::string& reason, ExitStatus exit) {
    if (format_ == OutputFormat::Json) {
        line(nlohmann::json{
            {"type", "stopped"}, {"reason", reason}, {"exit", static_cast<int>(exit)}}
                 .dump());
    }
    notice(reason);
}

void CtlOutput::notice(const std::string& text) {
    std::fprintf(err_, "kelmora-ctl: %s\n", text.c_str());
    std::fflush(err_);
}
