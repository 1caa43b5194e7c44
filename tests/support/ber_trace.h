// A BER push handler that writes down what it is told, for comparing the
// same input pushed whole and in pieces.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "core/der/ber_push_reader.h"

namespace testsupport::ber {

// Descends into constructed elements, takes primitive ones, and skips
// elements with identifier skipId. The trace reads "30{", "04=0102;", "}".
class TraceHandler : public BerPushHandler {
public:
    explicit TraceHandler(int skipId = -1) : skipId_(skipId) {}

    bool OnHeader(BerFrame&, const BerHeader& header, BerDecision* decision) override
    {
        Hex(&header.id, 1);
        if (header.id == skipId_) {
            trace += "~";
            *decision = BerDecision{BerDecision::Skip, 0, 0};
        } else if (header.id & 0x20) {
            trace += header.indefinite ? "{*" : "{";
            *decision = BerDecision{BerDecision::Descend, header.id, 0};
        } else {
            trace += "=";
            *decision = BerDecision{BerDecision::Take, 0, 0};
        }
        return true;
    }
    bool OnContent(const unsigned char* data, std::size_t length) override
    {
        Hex(data, length);
        return true;
    }
    bool OnTaken() override
    {
        trace += ";";
        return true;
    }
    bool OnClose(const BerFrame&) override
    {
        trace += "}";
        return true;
    }

    std::string trace;

private:
    void Hex(const unsigned char* data, std::size_t length)
    {
        char text[3];
        for (std::size_t i = 0; i < length; ++i) {
            std::snprintf(text, sizeof text, "%02x", data[i]);
            trace += text;
        }
    }
    int skipId_;
};

// The input pushed in pieces that end at the given offsets (ascending);
// the status of the first failure or Ok, and whether the reader ends complete.
inline BerStatus PushInPieces(const std::vector<unsigned char>& input, const std::vector<std::size_t>& cuts,
                              BerPushHandler* handler, bool* complete)
{
    BerPushReader reader;
    InitBerPushReader(&reader);
    std::size_t from = 0;
    std::vector<std::size_t> ends = cuts;
    ends.push_back(input.size());
    for (std::size_t end : ends) {
        if (end < from) continue;
        const BerStatus status = PushBer(&reader, handler, input.data() + from, end - from);
        from = end;
        if (status != BerStatus::Ok) {
            *complete = false;
            return status;
        }
    }
    *complete = BerComplete(reader);
    return BerStatus::Ok;
}

}  // namespace testsupport::ber
