// The automation object's IDispatch, called in-process as COM clients call it.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "automation/automation_dispatch_win.h"
#include "automation/automation_methods.h"
#include "settings/version.h"
#include "sim/hwt_codec.h"
#include "support/answer_table.h"

namespace testbay {
namespace {

using sim::AnswerScalar;
using sim::AnswerText;
using sim::EncodeHwtAnswer;
using test::Bytes;

template <class Fill>
VARIANT Variant(VARTYPE type, Fill fill) {
    VARIANT variant;
    VariantInit(&variant);
    V_VT(&variant) = type;
    fill(variant);
    return variant;
}

VARIANT Long(int32_t value) {
    return Variant(VT_I4, [&](VARIANT& v) { V_I4(&v) = value; });
}
VARIANT Short(int16_t value) {
    return Variant(VT_I2, [&](VARIANT& v) { V_I2(&v) = value; });
}
VARIANT Boolean(bool value) {
    return Variant(VT_BOOL, [&](VARIANT& v) { V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE; });
}
// The variant borrows the text; the test keeps it alive.
VARIANT Text(BSTR text) {
    return Variant(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = text; });
}
template <class Target>
VARIANT Reference(VARTYPE type, Target* target) {
    return Variant(VT_BYREF | type, [&](VARIANT& v) { V_BYREF(&v) = target; });
}

// Owns a BSTR for the length of a test.
struct Bstr {
    explicit Bstr(const wchar_t* text) : value(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(value); }
    std::wstring Text() const { return std::wstring(value, SysStringLen(value)); }
    BSTR value;
};

struct Outcome {
    HRESULT status = E_FAIL;
    VARIANT result{};
    std::wstring source, description;
    UINT argument = ~0u;
};

class AutomationDispatchTest : public ::testing::Test {
protected:
    ~AutomationDispatchTest() override { object_->Release(); }

    // Calls by name with the arguments in the order a script writes them.
    Outcome Call(const wchar_t* name, std::vector<VARIANT> args) {
        DISPID id = DISPID_UNKNOWN;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        Outcome outcome;
        outcome.status = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(outcome.status)) return outcome;
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO exception{};
        VariantInit(&outcome.result);
        outcome.status = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &outcome.result,
                                         &exception, &outcome.argument);
        if (exception.bstrSource) outcome.source = exception.bstrSource;
        if (exception.bstrDescription) outcome.description = exception.bstrDescription;
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
        return outcome;
    }
    static bool True(const Outcome& outcome) {
        return outcome.status == S_OK && V_VT(&outcome.result) == VT_BOOL && V_BOOL(&outcome.result) == VARIANT_TRUE;
    }
    void Connect() {
        Bstr none(L"");
        ASSERT_TRUE(True(Call(L"EnterHardwaretestAtPort", {Text(none.value), Short(1)})));
    }

    test::AnswerTable firmware_;
    AutomationDispatch* object_ = new AutomationDispatch;
};

TEST_F(AutomationDispatchTest, NamesMatchInAnyCaseAndIdentifiersAreTablePositions) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"gETmEMORYiNFO")};
    DISPID id = 0;
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 20);
    names[0] = const_cast<LPOLESTR>(L"GetLedCounts");
    EXPECT_EQ(object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    for (const DISPID outside : {DISPID{0}, static_cast<DISPID>(AutomationMethods().size() + 1)}) {
        EXPECT_EQ(object_->Invoke(outside, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
                  DISP_E_MEMBERNOTFOUND);
    }
    // A script may read a method without arguments as a property.
    const DISPID version = DispIdOf(*FindAutomationMethod("GetTestbayVersion"));
    ASSERT_EQ(object_->Invoke(version, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr), S_OK);
    ASSERT_EQ(V_VT(&result), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&result)), std::wstring(kTestbayVersion, kTestbayVersion + strlen(kTestbayVersion)));
    VariantClear(&result);
    EXPECT_EQ(object_->Invoke(version, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, &result, nullptr, nullptr),
              DISP_E_MEMBERNOTFOUND);
}

TEST_F(AutomationDispatchTest, OutputsAreWrittenBackIntoTheCallersVariablesInTheirTypes) {
    Connect();
    firmware_.answers[0x16] = [](const Bytes&) {
        return EncodeHwtAnswer(0x16, 1, {AnswerScalar(7), AnswerScalar(8), AnswerScalar(9), AnswerScalar(1)});
    };
    VARIANT variable;
    VariantInit(&variable);
    VARIANT flagVariable = Long(5);
    LONG b = 0;
    SHORT c = 0;
    double attributes = 0;
    VARIANT_BOOL flag = VARIANT_FALSE;
    EXPECT_TRUE(True(Call(L"getmemoryinfo", {Short(1), Reference(VT_VARIANT, &variable), Reference(VT_I4, &b),
                                             Reference(VT_I2, &c), Reference(VT_R8, &attributes),
                                             Reference(VT_VARIANT, &flagVariable), Reference(VT_BOOL, &flag)})));
    EXPECT_EQ(V_VT(&variable), VT_I4);
    EXPECT_EQ(V_I4(&variable), 7);
    EXPECT_EQ(b, 8);
    EXPECT_EQ(c, 9);
    EXPECT_EQ(attributes, 1.0);
    EXPECT_EQ(V_VT(&flagVariable), VT_BOOL);
    EXPECT_EQ(V_BOOL(&flagVariable), VARIANT_TRUE);
    EXPECT_EQ(flag, VARIANT_TRUE);

    firmware_.answers[0x4A] = [](const Bytes&) {
        return EncodeHwtAnswer(0x4A, 1, {AnswerScalar(90000), AnswerScalar(90000)});
    };
    double degrees = 0;
    EXPECT_TRUE(True(Call(L"GetAveragePhaseDifference", {Long(1), Boolean(true), Reference(VT_R8, &degrees)})));
    EXPECT_NEAR(degrees, 90.0, 0.5);

    // The caller's string is the room: its length stays, an 8-bit character
    // comes back through the ANSI code page.
    firmware_.answers[0x17] = [](const Bytes&) {
        return EncodeHwtAnswer(0x17, 1,
                               {AnswerText("\xE4"
                                           "bc")});
    };
    Bstr room(L"xyz1");
    EXPECT_TRUE(True(Call(L"ReadMemory", {Long(0), Long(0), Long(3), Reference(VT_BSTR, &room.value)})));
    EXPECT_EQ(room.Text(), L"\u00E4bc1");
    Bstr shortRoom(L"xy");
    EXPECT_TRUE(True(Call(L"ReadMemory", {Long(0), Long(0), Long(3), Reference(VT_BSTR, &shortRoom.value)})));
    EXPECT_EQ(shortRoom.Text(), L"\u00E4b");
    VARIANT textVariable = Text(SysAllocString(L"pqr"));
    EXPECT_TRUE(True(Call(L"ReadMemory", {Long(0), Long(0), Long(3), Reference(VT_VARIANT, &textVariable)})));
    ASSERT_EQ(V_VT(&textVariable), VT_BSTR);
    EXPECT_EQ(std::wstring(V_BSTR(&textVariable)), L"\u00E4bc");
    VariantClear(&textVariable);

    // Outputs left out or passed by value are not written anywhere.
    EXPECT_TRUE(True(Call(L"GetMemoryInfo", {Long(1)})));
    EXPECT_TRUE(True(Call(L"GetMemoryInfo", {Long(1), Long(0), Long(0)})));
}

TEST_F(AutomationDispatchTest, WrongArgumentsAreRefusedWithTheirPositionAndTheObjectGoesOn) {
    Bstr text(L"one");
    Outcome outcome = Call(L"SetLed", {Text(text.value), Boolean(true)});
    EXPECT_EQ(outcome.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(outcome.argument, 1u);  // counted in the reversed array
    outcome = Call(L"SetLed", {Long(1), Reference(VT_BSTR, &text.value)});
    EXPECT_EQ(outcome.status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(outcome.argument, 0u);
    EXPECT_EQ(Call(L"SetLed", {Variant(VT_DATE, [](VARIANT&) {}), Long(1)}).status, DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Call(L"SetLed", {Long(1)}).status, DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(L"SetLed", {Long(1), Long(1), Long(1)}).status, DISP_E_BADPARAMCOUNT);

    Connect();
    LONG count = -1;
    EXPECT_TRUE(True(Call(L"GetLedCount", {Reference(VT_I4, &count)})));
    EXPECT_EQ(count, 0);
}

TEST_F(AutomationDispatchTest, FaultsOfACallReachTheClientAsExceptionsWithTheirText) {
    Connect();
    Bstr room(L"xyz");
    Outcome outcome = Call(L"ReadMemory", {Long(0), Long(0), Long(-1), Reference(VT_BSTR, &room.value)});
    EXPECT_EQ(outcome.status, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.source, L"Testbay.Document");
    EXPECT_NE(outcome.description.find(L"parameter 3"), std::wstring::npos);
    EXPECT_EQ(outcome.argument, 1u);

    ComClose(object_->Document().Channel());
    LONG count = 0;
    outcome = Call(L"GetLedCount", {Reference(VT_I4, &count)});
    EXPECT_EQ(outcome.status, DISP_E_EXCEPTION);
    EXPECT_EQ(outcome.source, L"Testbay.Document");
    EXPECT_EQ(outcome.description, L"Port geschlossen");
    EXPECT_TRUE(True(Call(L"ExitHardwaretest", {})));
}

}  // namespace
}  // namespace testbay
