// The Telnet side of a network port without any socket: escaping, what is
// taken out of the data, the negotiation and the answers to settings.
#include "platform/rfc2217.h"

#include <gtest/gtest.h>

namespace testbay::rfc2217 {
namespace {

Bytes Take(ClientSession& session, const Bytes& wire, Bytes* reply = nullptr) {
    Bytes data;
    Bytes replies;
    session.Receive(wire.data(), wire.size(), data, replies);
    if (reply) *reply = replies;
    return data;
}

TEST(Rfc2217Data, EscapedOutAndTakenInWhateverTheSplitAndCommandsNeverReachTheData) {
    const Bytes telegram{0x68, 0xFF, 0x00, 0xFF, 0xFF, 0x16};
    Bytes wire;
    AppendData(telegram.data(), telegram.size(), wire);
    EXPECT_EQ(wire, (Bytes{0x68, 0xFF, 0xFF, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x16}));

    // Data around a NOP, a data mark, a modem-state notice, an unknown
    // subnegotiation holding IAC IAC, a bare SE and 0x05, and a negotiation.
    Bytes server{0x01, kIac, kIac, 0x02,  kIac,    kNop, 0x03, kIac, 242,  kIac, kSb, kComPortOption,
                 107,  0x30, kIac, kSe,   0x04,    kIac, kSb,  24,   kIac, kIac, kSe, 0x05,
                 kIac, kSe,  kIac, kWill, kBinary, 0x06, kIac, kIac};
    const Bytes expected{0x01, 0xFF, 0x02, 0x03, 0x04, 0x06, 0xFF};
    for (size_t split = 0; split <= server.size(); ++split) {
        ClientSession session;
        session.Greeting();
        Bytes data = Take(session, Bytes(server.begin(), server.begin() + static_cast<std::ptrdiff_t>(split)));
        const Bytes rest = Take(session, Bytes(server.begin() + static_cast<std::ptrdiff_t>(split), server.end()));
        data.insert(data.end(), rest.begin(), rest.end());
        EXPECT_EQ(data, expected) << "split after " << split;
    }
}

TEST(Rfc2217Data, AnOverlongSubnegotiationIsSkippedAndAMissingEndLosesNoLaterCommand) {
    ClientSession session;
    Bytes wire{kIac, kSb, kComPortOption};
    wire.insert(wire.end(), 10000, 0x41);
    wire.insert(wire.end(), {kIac, kSe, 0x07});
    EXPECT_EQ(Take(session, wire), Bytes{0x07});

    // A server that forgot IAC SE: its IAC WILL still counts, the data after it too.
    Bytes reply;
    EXPECT_EQ(Take(session, {kIac, kSb, 24, 0x01, kIac, kWill, 1, 0x08}, &reply), Bytes{0x08});
    EXPECT_EQ(reply, (Bytes{kIac, kDont, 1}));
}

TEST(Rfc2217Negotiation, OffersTheOptionsAnswersOnlyChangesAndRefusesTheRest) {
    ClientSession session;
    EXPECT_EQ(session.Greeting(), (Bytes{kIac, kWill, kComPortOption, kIac, kWill, kBinary, kIac, kWill,
                                         kSuppressGoAhead, kIac, kDo, kBinary, kIac, kDo, kSuppressGoAhead}));
    EXPECT_FALSE(session.ComPortAgreed().has_value());

    // The server's consent to what was offered needs no reply, twice neither.
    Bytes reply;
    Take(session, {kIac, kDo, kComPortOption, kIac, kDo, kBinary, kIac, kWill, kBinary, kIac, kDo, kBinary}, &reply);
    EXPECT_EQ(reply, Bytes{});
    EXPECT_EQ(session.ComPortAgreed(), true);

    // Echo and terminal type are declined; a server WONT after its WILL gets DONT once.
    Take(session, {kIac, kWill, 1, kIac, kDo, 24, kIac, kWill, kSuppressGoAhead, kIac, kWont, kSuppressGoAhead},
         &reply);
    EXPECT_EQ(reply, (Bytes{kIac, kDont, 1, kIac, kWont, 24, kIac, kDont, kSuppressGoAhead}));
    Take(session, {kIac, kWont, kSuppressGoAhead}, &reply);
    EXPECT_EQ(reply, Bytes{});

    // A server without the COM port option.
    ClientSession plain;
    plain.Greeting();
    Take(plain, {kIac, kDont, kComPortOption}, &reply);
    EXPECT_EQ(plain.ComPortAgreed(), false);
    EXPECT_EQ(reply, Bytes{});  // an offer refused is no change to answer
}

TEST(Rfc2217Answers, OnlyTheAnswerToTheLatestCommandCountsAndItsValueIsUnescaped) {
    ClientSession session;
    Bytes wire;
    session.AppendCommand(kSetBaudrate, BaudValue(9600), wire);
    session.AppendCommand(kSetParity, {ParityValue(kParityEven)}, wire);
    EXPECT_EQ(wire, (Bytes{kIac, kSb, kComPortOption, 1, 0x00, 0x00, 0x25, 0x80, kIac, kSe, kIac, kSb, kComPortOption,
                           3, 3, kIac, kSe}));
    // A rate with 0xFF in it goes out escaped.
    session.AppendCommand(kSetBaudrate, BaudValue(0x0001FF00), wire);
    EXPECT_EQ(Bytes(wire.end() - 8, wire.end()), (Bytes{1, 0x00, 0x01, 0xFF, 0xFF, 0x00, kIac, kSe}));
    EXPECT_FALSE(session.Answer(kSetBaudrate).has_value());

    // The late answer to the first rate does not answer the second.
    Take(session, {kIac, kSb, kComPortOption, 101, 0x00, 0x00, 0x25, 0x80, kIac, kSe});
    EXPECT_FALSE(session.Answer(kSetBaudrate).has_value());
    Take(session, {kIac, kSb, kComPortOption, 101, 0x00, 0x01, kIac, kIac, 0x00, kIac, kSe});
    EXPECT_EQ(session.Answer(kSetBaudrate), BaudValue(0x0001FF00));

    // An answer nobody asked for changes nothing.
    Take(session, {kIac, kSb, kComPortOption, 104, 2, kIac, kSe});
    EXPECT_FALSE(session.Answer(kSetStopsize).has_value());
    Take(session, {kIac, kSb, kComPortOption, 103, 1, kIac, kSe});
    EXPECT_EQ(session.Answer(kSetParity), Bytes{1});
}

TEST(Rfc2217Answers, SettingsInTheProtocolsNumbering) {
    EXPECT_EQ(ParityValue(kParityNone), 1);
    EXPECT_EQ(ParityValue(kParityOdd), 2);
    EXPECT_EQ(ParityValue(kParityEven), 3);
    EXPECT_EQ(ParityValue(kParityMark), 4);
    EXPECT_EQ(ParityValue(kParitySpace), 5);
    EXPECT_EQ(StopsizeValue(kStopOne), 1);
    EXPECT_EQ(StopsizeValue(kStopTwo), 2);
    EXPECT_EQ(StopsizeValue(kStopOneAndHalf), 3);
    EXPECT_EQ(BaudValue(230400), (Bytes{0x00, 0x03, 0x84, 0x00}));
}

}  // namespace
}  // namespace testbay::rfc2217
