#pragma once

// Resource names shared by the resource script and the code.
#define LUMEN_MAIN_ICON 1

#ifdef __cplusplus
#include <array>

namespace lumen::player {

inline constexpr const wchar_t* kToolBackImage = L"TOOLBACK";

// The buttons' artwork is drawn at these scales, in percent; each button has its four images
// (Up, Hot, Down, Disabled) at each.
inline constexpr std::array<int, 3> kArtScales = {100, 150, 200};
using ButtonImages = std::array<std::array<const wchar_t*, 4>, kArtScales.size()>;

inline constexpr ButtonImages kPlayImages = {{
    {L"PLAYUP", L"PLAYHOT", L"PLAYDOWN", L"PLAYDISABLED"},
    {L"PLAYUP150", L"PLAYHOT150", L"PLAYDOWN150", L"PLAYDISABLED150"},
    {L"PLAYUP200", L"PLAYHOT200", L"PLAYDOWN200", L"PLAYDISABLED200"},
}};
inline constexpr ButtonImages kStopImages = {{
    {L"STOPUP", L"STOPHOT", L"STOPDOWN", L"STOPDISABLED"},
    {L"STOPUP150", L"STOPHOT150", L"STOPDOWN150", L"STOPDISABLED150"},
    {L"STOPUP200", L"STOPHOT200", L"STOPDOWN200", L"STOPDISABLED200"},
}};
inline constexpr ButtonImages kFullSizeImages = {{
    {L"FULLSIZEUP", L"FULLSIZEHOT", L"FULLSIZEDOWN", L"FULLSIZEDISABLED"},
    {L"FULLSIZEUP150", L"FULLSIZEHOT150", L"FULLSIZEDOWN150", L"FULLSIZEDISABLED150"},
    {L"FULLSIZEUP200", L"FULLSIZEHOT200", L"FULLSIZEDOWN200", L"FULLSIZEDISABLED200"},
}};

}  // namespace lumen::player
#endif
