// Whatever the server of a network port sends: the data and the replies come
// out the same however the bytes are split, and no answer grows past its bound.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/rfc2217.h"

using namespace testbay::rfc2217;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t step = 1 + data[0] % 7;
    ++data;
    --size;

    ClientSession whole;
    ClientSession pieces;
    Bytes wire;
    // Every command awaited, so that every kind of answer is taken in.
    for (const Command command : {kSetBaudrate, kSetDatasize, kSetParity, kSetStopsize, kSetControl, kPurgeData}) {
        whole.AppendCommand(command, {1}, wire);
        pieces.AppendCommand(command, {1}, wire);
    }
    Bytes wholeData, wholeReply, pieceData, pieceReply;
    whole.Receive(data, size, wholeData, wholeReply);
    for (size_t at = 0; at < size; at += step) {
        pieces.Receive(data + at, std::min(step, size - at), pieceData, pieceReply);
    }
    if (wholeData != pieceData || wholeReply != pieceReply) __builtin_trap();
    if (wholeData.size() > size) __builtin_trap();
    for (const Command command : {kSetBaudrate, kSetDatasize, kSetParity, kSetStopsize, kSetControl, kPurgeData}) {
        const auto answer = whole.Answer(command);
        if (answer != pieces.Answer(command)) __builtin_trap();
        if (answer && answer->size() > kMaxSubnegotiation) __builtin_trap();
    }
    if (whole.ComPortAgreed() != pieces.ComPortAgreed()) __builtin_trap();
    return 0;
}
