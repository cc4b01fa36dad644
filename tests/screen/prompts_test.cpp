// The setup's texts and boxes: the five string resources byte for byte in code page 932,
// from this program (which carries the same resources as SETUP.exe) and from the built
// SETUP.exe itself; real boxes shown by the prompt functions with their captions, texts,
// buttons, icons and exact styles; the joining of up to three texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "screen/prompts.h"
#include "support/state.h"
#include "tests/common/box_texts.h"
#include "tests/common/box_watch.h"
#include "tools/driver/driver.h"

using prompts_test::Answer;
using prompts_test::BoxWatcher;
using prompts_test::CallRecord;
using prompts_test::IsBox;
using prompts_test::kErrorBox;
using prompts_test::kInfoBox;
using prompts_test::kQuestionBox;
using prompts_test::SeenBox;

namespace {

std::string Expected(UINT id)
{
    return driver::Cp932(BoxTextOf(id).text);
}

// Loads text id through LoadText into a buffer with a sentinel tail behind its 512 bytes. When
// LoadText misbehaves, a note of what it did stands in place of the text, so that the caller's
// comparison fails at the case and says why.
std::string LoadWithSentinel(UINT id)
{
    std::vector<char> buffer(kTextBufferSize + 32, '\xAA');
    if (LoadText(id, buffer.data()) != buffer.data())
        return "(LoadText did not answer its buffer)";
    for (size_t i = kTextBufferSize; i < buffer.size(); ++i)
        if (buffer[i] != '\xAA')
            return "(LoadText wrote beyond the 512 bytes at " + std::to_string(i) + ")";
    return std::string(buffer.data(), strnlen(buffer.data(), kTextBufferSize));
}

// The text module is the program's own while start-up has not stored the instance yet;
// afterwards g_state.instance decides. Each test leaves it as it found it.
class InstanceScope {
public:
    explicit InstanceScope(HINSTANCE instance) : saved_(g_state.instance) { g_state.instance = instance; }
    ~InstanceScope() { g_state.instance = saved_; }

private:
    HINSTANCE saved_;
};

// The built SETUP.exe as a data file, for its resources only.
class SetupImage {
public:
    SetupImage()
    {
        std::string path = driver::EnvPath("SETUP_EXE");
        if (!path.empty())
            module_ = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }
    ~SetupImage()
    {
        if (module_)
            FreeLibrary(module_);
    }
    HMODULE module() const { return module_; }

private:
    HMODULE module_ = nullptr;
};

TEST(Texts, EqualTheirCodePage932BytesInBothModules)
{
    ASSERT_EQ(932u, GetACP()) << "the texts are loaded in the system's code page 932";
    SetupImage setup;
    ASSERT_TRUE(setup.module()) << "SETUP_EXE must name the built stub";
    for (HMODULE module : {static_cast<HMODULE>(nullptr), setup.module()}) {
        InstanceScope scope(module);
        for (const BoxTextRow& c : kBoxTexts) {
            std::string want = driver::Cp932(c.text);
            std::string got = LoadWithSentinel(c.id);
            EXPECT_EQ(want, got) << "text " << c.id << (module ? " of SETUP.exe" : " of this program") << ": "
                                 << driver::Utf8FromCp932(got);
        }
    }
}

// Independent of the platform's own conversion: the characters that must be single bytes
// and those that must be double-byte, at their places.
TEST(Texts, HoldSingleAndDoubleByteCharactersWhereTheyBelong)
{
    InstanceScope scope(nullptr);
    const std::string open = "\x81\x75", close = "\x81\x76", stop = "\x81\x42";
    std::string t100 = LoadWithSentinel(IDS_START_QUESTION), t101 = LoadWithSentinel(IDS_SAVER_SET);
    std::string t102 = LoadWithSentinel(IDS_ABORT_QUESTION), t103 = LoadWithSentinel(IDS_LOW_COLOR);
    std::string t104 = LoadWithSentinel(IDS_SAVER_NOT_SET);
    EXPECT_EQ(0u, t100.find(open + "%s" + close));
    EXPECT_NE(std::string::npos, t100.find(stop + "\r\n\r\n"));
    EXPECT_EQ('?', t100.back());
    EXPECT_EQ(0u, t101.find("%s\r\n"));
    EXPECT_EQ(stop, t101.substr(t101.size() - 2));
    EXPECT_EQ('?', t102.back());
    EXPECT_NE(std::string::npos, t103.find("256"));
    EXPECT_NE(std::string::npos, t103.find(stop + "\r\n"));
    EXPECT_EQ(stop, t103.substr(t103.size() - 2));
    EXPECT_EQ(0u, t104.find("%s\r\n"));
    EXPECT_EQ(stop, t104.substr(t104.size() - 2));
    for (const std::string& t : {t100, t101, t102, t103, t104}) {
        EXPECT_EQ(std::string::npos, t.find(',')) << "the texts hold no commas";
        EXPECT_EQ(std::string::npos, t.find("\xEF\xBC\x9F")) << "no UTF-8 left in the texts";
    }
}

TEST(Texts, StringTableIsJapanese)
{
    SetupImage setup;
    ASSERT_TRUE(setup.module());
    // Texts 96 to 111 share string block 7.
    for (HMODULE module : {GetModuleHandleA(nullptr), setup.module()})
        EXPECT_TRUE(FindResourceExA(module, MAKEINTRESOURCEA(6), MAKEINTRESOURCEA(7),
                                    MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)) != nullptr);
}

// Shows a box through show() on this thread while a watcher answers it.
template <typename Show>
SeenBox ShowAndAnswer(Answer answer, Show show)
{
    prompts_test::ResetCalls();
    BoxWatcher watcher(answer);
    show();
    return watcher.Finish();
}

class Boxes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(prompts_test::InstallRecorder()) << "MessageBoxW import not found"; }
};

TEST_F(Boxes, CaptionsAreTheirCodePage932Bytes)
{
    // Written out as the bytes they must be, beside the platform's own conversion above.
    EXPECT_EQ(std::string("\x8E\xBF\x96\xE2"), driver::Cp932(L"質問"));
    EXPECT_EQ(std::string("\x8F\xEE\x95\xF1"), driver::Cp932(L"情報"));
    EXPECT_EQ(std::string("\x83\x47\x83\x89\x81\x5B"), driver::Cp932(L"エラー"));
}

TEST_F(Boxes, ErrorTextBeforeStartUpStoredTheInstance)
{
    InstanceScope scope(nullptr);
    SeenBox seen = ShowAndAnswer(Answer::Ok, [] { ShowErrorText(nullptr, IDS_LOW_COLOR); });
    CallRecord call = prompts_test::LastCall();
    EXPECT_TRUE(IsBox(kErrorBox, seen, call));
    EXPECT_EQ(Expected(103), seen.text);
    EXPECT_EQ(Expected(103), call.text);
    EXPECT_EQ(1, call.calls);
    EXPECT_TRUE(seen.closedByAnswer);
}

TEST_F(Boxes, ErrorTextFromTheStoredInstance)
{
    SetupImage setup;
    ASSERT_TRUE(setup.module());
    InstanceScope scope(setup.module());
    SeenBox seen = ShowAndAnswer(Answer::Ok, [] { ShowErrorText(nullptr, IDS_LOW_COLOR); });
    EXPECT_TRUE(IsBox(kErrorBox, seen, prompts_test::LastCall()));
    EXPECT_EQ(Expected(103), seen.text);
}

// A question text: Yes answers 1, No answers 0.
TEST_F(Boxes, QuestionTextIsYesOnlyOnYes)
{
    struct Case {
        UINT id;
        Answer answer;
        int result;
    };
    const Case cases[] = {
        {IDS_ABORT_QUESTION, Answer::Yes, 1},
        {IDS_ABORT_QUESTION, Answer::No, 0},
        {IDS_START_QUESTION, Answer::Yes, 1},
        {IDS_START_QUESTION, Answer::No, 0},
    };
    InstanceScope scope(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE("text " + std::to_string(c.id) + " answer " + std::to_string(static_cast<int>(c.answer)));
        int result = -1;
        SeenBox seen = ShowAndAnswer(c.answer, [&] { result = AskYesNoText(nullptr, c.id); });
        EXPECT_TRUE(IsBox(kQuestionBox, seen, prompts_test::LastCall()));
        EXPECT_EQ(Expected(c.id), seen.text);
        EXPECT_EQ(c.result, result);
    }
}

// Closing a Yes/No box without Yes counts as No. Wine ends such a box on the close message
// and on Escape with IDCANCEL, which must not pass for Yes; Windows ignores both on a box
// without a Cancel button, and the watcher then answers No.
TEST_F(Boxes, ClosedQuestionCountsAsNo)
{
    for (Answer answer : {Answer::Close, Answer::Escape}) {
        int result = -1;
        SeenBox seen = ShowAndAnswer(answer, [&] { result = AskYesNoMessage(nullptr, "close me", nullptr, nullptr); });
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(0, result);
        std::printf("closing by %s: %s\n", answer == Answer::Close ? "WM_CLOSE" : "Escape",
                    seen.closedByAnswer ? "the box ended" : "ignored, answered No");
    }
}

struct JoinCase {
    const char* text1;
    const char* text2;
    const char* text3;
};

std::string Joined(const JoinCase& c)
{
    std::string out;
    for (const char* t : {c.text1, c.text2, c.text3})
        if (t)
            out += t;
    return out;
}

DWORD Length(const char* text)
{
    return text ? static_cast<DWORD>(std::strlen(text)) : 0;
}

TEST_F(Boxes, QuestionMessageJoinsUpToThreeTextsWithNothingBetween)
{
    // "表示" and "ソフト": trail bytes 0x5C, which no join may take for a backslash.
    const std::string japanese = driver::Cp932(L"「表示ソフト」");
    const std::string longText(400, 'L');
    const JoinCase cases[] = {
        {"alone", nullptr, nullptr},
        {"first", "second", nullptr},
        {"one ", "two ", "three"},
        {nullptr, "middle", nullptr},
        {nullptr, nullptr, "last"},
        {"", "x", ""},
        {nullptr, nullptr, nullptr},
        {japanese.c_str(), "\r\n", japanese.c_str()},
        {longText.c_str(), longText.c_str(), longText.c_str()},
    };
    for (const JoinCase& c : cases) {
        std::string want = Joined(c);
        SCOPED_TRACE("joined \"" + want.substr(0, 40) + "\"");
        int result = -1;
        SeenBox seen = ShowAndAnswer(Answer::Yes, [&] { result = AskYesNoMessage(nullptr, c.text1, c.text2, c.text3); });
        CallRecord call = prompts_test::LastCall();
        EXPECT_TRUE(IsBox(kQuestionBox, seen, call));
        EXPECT_EQ(1, result);
        EXPECT_EQ(want, call.text);
        EXPECT_EQ(want, seen.text);
        // One zero-filled fixed block, released after the box: a UTF-16 unit for every byte of
        // the three texts, and 64 more.
        EXPECT_EQ((Length(c.text1) + Length(c.text2) + Length(c.text3) + 64) * sizeof(WCHAR), call.textBlockSize);
        SetLastError(0xdeadbeef);
        EXPECT_EQ(nullptr, GlobalHandle(call.textAddress)) << "the joined block is still allocated";
    }
}

TEST_F(Boxes, QuestionMessageNoIsNo)
{
    int result = -1;
    SeenBox seen = ShowAndAnswer(Answer::No, [&] { result = AskYesNoMessage(nullptr, "a", "b", "c"); });
    EXPECT_TRUE(IsBox(kQuestionBox, seen, prompts_test::LastCall()));
    EXPECT_EQ("abc", seen.text);
    EXPECT_EQ(0, result);
}

TEST_F(Boxes, InfoMessageJoinsAndHasOneOkButton)
{
    const std::string title = driver::Cp932(L"オーロラ");
    const std::string notice = driver::Cp932(L"をスクリーンセーバーとして設定しました。");
    const JoinCase cases[] = {
        {title.c_str(), "\r\n", notice.c_str()},
        {title.c_str(), nullptr, nullptr},
        {nullptr, nullptr, notice.c_str()},
    };
    for (const JoinCase& c : cases) {
        SeenBox seen = ShowAndAnswer(Answer::Ok, [&] { ShowInfoMessage(nullptr, c.text1, c.text2, c.text3); });
        CallRecord call = prompts_test::LastCall();
        EXPECT_TRUE(IsBox(kInfoBox, seen, call));
        EXPECT_EQ(Joined(c), call.text);
        EXPECT_EQ(Joined(c), seen.text);
        EXPECT_TRUE(seen.closedByAnswer);
    }
}

// The error box for ready texts: joined like the others, with the error caption and style.
TEST_F(Boxes, ErrorMessageJoinsWithTheErrorCaptionAndStyle)
{
    const std::string title = driver::Cp932(L"オーロラ");
    SeenBox seen = ShowAndAnswer(Answer::Ok, [&] { ShowErrorMessage(nullptr, title.c_str(), "\r\n", "x"); });
    CallRecord call = prompts_test::LastCall();
    EXPECT_TRUE(IsBox(kErrorBox, seen, call));
    EXPECT_EQ(title + "\r\nx", call.text);
    EXPECT_EQ(title + "\r\nx", seen.text);
    EXPECT_TRUE(seen.closedByAnswer);
}

// The owner given is the box's owner, and the box comes to the foreground.
TEST_F(Boxes, OwnedByTheGivenWindowAndInTheForeground)
{
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
    ASSERT_TRUE(owner);
    int result = -1;
    SeenBox seen = ShowAndAnswer(Answer::Yes, [&] { result = AskYesNoMessage(owner, "owned", nullptr, nullptr); });
    EXPECT_EQ(owner, prompts_test::LastCall().owner);
    EXPECT_EQ(owner, seen.owner);
    EXPECT_TRUE(seen.foreground);
    EXPECT_EQ(1, result);
    SeenBox info = ShowAndAnswer(Answer::Ok, [&] { ShowInfoMessage(owner, "owned", nullptr, nullptr); });
    EXPECT_EQ(owner, info.owner);
    EXPECT_TRUE(info.foreground);
    DestroyWindow(owner);
}

}  // namespace
