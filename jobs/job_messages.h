#pragma once
#include <string_view>

namespace quorvane::messages {

inline constexpr std::u16string_view kTitleNotice = u"通知";
inline constexpr std::u16string_view kTitleError = u"エラー";

inline constexpr std::u16string_view kNoFiles = u"ファイルを指定してください";
inline constexpr std::u16string_view kEnterKey = u"キーを入力してください";
inline constexpr std::u16string_view kOpenFailed = u"開けませんでした";
inline constexpr std::u16string_view kReadFailed = u"読み込めませんでした";
inline constexpr std::u16string_view kCreateFailed = u"ファイルを作成できませんでした";
inline constexpr std::u16string_view kSaveEncryptedFailed = u"暗号データを保存できませんでした";
inline constexpr std::u16string_view kSaveDecryptedFailed = u"復号データを保存できませんでした";
inline constexpr std::u16string_view kWrongKeyOrDamaged = u"キーが違うか、ファイルが壊れています";
inline constexpr std::u16string_view kTooLarge = u"ファイルが大きすぎます";
inline constexpr std::u16string_view kOutOfMemory = u"メモリが不足しています";

}  // namespace quorvane::messages
