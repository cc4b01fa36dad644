// The setup's boxes, one row a text: its resource id, the text as a reader sees it (%s stands
// for the saver's title), the box's caption and its buttons. Cp932() gives the bytes the
// program shows; every test that reads a box takes its expectation from here.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tools/driver/driver.h"

struct BoxTextRow {
    UINT id;
    const wchar_t* text;
    const wchar_t* caption;
    UINT buttons;  // MB_YESNO or MB_OK
};

static_assert(IDS_START_QUESTION == 100 && IDS_SAVER_SET == 101 && IDS_ABORT_QUESTION == 102 &&
                  IDS_LOW_COLOR == 103 && IDS_SAVER_NOT_SET == 104 && IDS_REMOVE_QUESTION == 105 &&
                  IDS_SAVER_REMOVED == 106 && IDS_SAVER_NOT_INSTALLED == 107 && IDS_SAVER_NOT_REMOVED == 108,
              "the texts keep their ids");
inline const BoxTextRow kBoxTexts[] = {
    {100, L"「%s」スクリーンセーバーのインストールを開始します。\r\n\r\nよろしいですか?", L"質問", MB_YESNO},
    {101, L"%s\r\nをスクリーンセーバーとして設定しました。", L"情報", MB_OK},
    {102, L"インストールを中断してよろしいですか?", L"質問", MB_YESNO},
    {103, L"このプログラムは256色以下のディスプレイモードでは動作しません。\r\nハイカラーかフルカラーで実行してください。",
     L"エラー", MB_OK},
    {104, L"%s\r\nをスクリーンセーバーとして設定できませんでした。", L"エラー", MB_OK},
    {105, L"「%s」スクリーンセーバーを削除します。\r\n\r\nよろしいですか?", L"質問", MB_YESNO},
    {106, L"%s\r\nを削除しました。", L"情報", MB_OK},
    {107, L"「%s」スクリーンセーバーはインストールされていません。", L"情報", MB_OK},
    {108, L"%s\r\nを削除できませんでした。", L"エラー", MB_OK},
};

inline const BoxTextRow& BoxTextOf(UINT id)
{
    for (const BoxTextRow& row : kBoxTexts)
        if (row.id == id)
            return row;
    return kBoxTexts[0];
}

// The text of box id with title in place of %s: in UTF-16, and as the program's bytes.
inline std::wstring WideBoxText(UINT id, const std::wstring& title = L"")
{
    std::wstring text = BoxTextOf(id).text;
    size_t at = text.find(L"%s");
    return at == std::wstring::npos ? text : text.replace(at, 2, title);
}
inline std::string BoxText932(UINT id, const std::string& title = "")
{
    std::string text = driver::Cp932(BoxTextOf(id).text);
    size_t at = text.find("%s");
    return at == std::string::npos ? text : text.replace(at, 2, title);
}
inline std::string BoxCaption932(UINT id)
{
    return driver::Cp932(BoxTextOf(id).caption);
}
inline std::vector<int> BoxButtonIds(UINT id)
{
    return BoxTextOf(id).buttons == MB_YESNO ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
}
