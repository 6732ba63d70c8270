#pragma once

// Resource names shared by the resource script and the code.
#define LUMEN_MAIN_ICON 1

#ifdef __cplusplus
#include <array>

namespace lumen::player {

inline constexpr const wchar_t* kToolBackImage = L"TOOLBACK";
inline constexpr std::array<const wchar_t*, 4> kPlayImages = {L"PLAYUP", L"PLAYHOT", L"PLAYDOWN",
                                                              L"PLAYDISABLED"};
inline constexpr std::array<const wchar_t*, 4> kStopImages = {L"STOPUP", L"STOPHOT", L"STOPDOWN",
                                                              L"STOPDISABLED"};
inline constexpr std::array<const wchar_t*, 4> kFullSizeImages = {
    L"FULLSIZEUP", L"FULLSIZEHOT", L"FULLSIZEDOWN", L"FULLSIZEDISABLED"};

}  // namespace lumen::player
#endif
