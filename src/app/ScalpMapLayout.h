#pragma once
// The designed layout of the main window: every element of the scalp map and the two buttons
// with its box in twips (measured from the top-left corner of the client area), its colours and
// lettering, and the order in which the map's elements lie over each other, bottom first.
// Colours are 24-bit values with red in the low byte (0x00BBGGRR). Nothing here changes at run
// time; what does change (the position circles' fill and lettering colours) is ScalpMapModel.

#include <array>
#include <cstdint>

namespace solvane {

/// Twips to logical pixels (1440 twips and 96 pixels per inch).
constexpr int twipsToPixels(int twips) {
    return twips / 15;
}

} // namespace solvane

namespace solvane::scalpmap {

/// A rectangle in twips.
struct TwipsBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    [[nodiscard]] constexpr int right() const { return left + width; }
    [[nodiscard]] constexpr int bottom() const { return top + height; }
    constexpr bool operator==(const TwipsBox&) const = default;
};

/// A straight line between two points in twips.
struct TwipsLine {
    int x1 = 0;
    int y1 = 0;
    int x2 = 0;
    int y2 = 0;
};

constexpr uint32_t rgb(uint32_t red, uint32_t green, uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

constexpr TwipsBox ClientArea{0, 0, 5190, 6330};

constexpr TwipsBox cmdActionBox{3600, 5400, 1455, 735};
constexpr TwipsBox cmdOptionsBox{120, 5400, 1455, 735};

// Shape1, the head.
constexpr TwipsBox HeadBox{480, 240, 4215, 4935};
constexpr uint32_t HeadFill = rgb(255, 224, 192);
constexpr int HeadOutlinePixels = 2;

// Shape3, the inner outline (no fill), and the two lines.
constexpr TwipsBox InnerOutlineBox{960, 720, 3255, 3975};
constexpr uint32_t InnerOutlineColour = rgb(128, 128, 128);
constexpr TwipsLine Midline{2640, 720, 2640, 4680};      // Line1, front to back
constexpr TwipsLine EarToEarLine{960, 2760, 4200, 2760}; // Line2
constexpr uint32_t LineColour = rgb(128, 128, 128);

// Shape4 and Shape5, the ear references, with their LabelA1 lettering.
constexpr TwipsBox LeftEarBox{120, 2520, 495, 495};
constexpr TwipsBox RightEarBox{4560, 2520, 495, 495};
constexpr uint32_t EarFill = rgb(0, 0, 0);

struct EarLettering {
    int element; ///< index in LabelA1
    const char* text;
    TwipsBox box;
};
constexpr EarLettering LeftEarLettering{21, "A1", {120, 2640, 495, 255}};
constexpr EarLettering RightEarLettering{0, "A2", {4560, 2640, 495, 255}};

// Shape2 and Label1: the 21 position circles; element i belongs to scalp position i + 1.
constexpr int PositionCount = 21;
constexpr int CircleSize = 495; ///< twips, width and height

struct PositionDesign {
    const char* lettering;
    TwipsBox circle;
    TwipsBox letteringBox;
    uint32_t fill; ///< as designed, before any verdict
};

namespace detail {
constexpr uint32_t Red = rgb(255, 0, 0);
constexpr uint32_t Blue = rgb(0, 0, 255);
constexpr uint32_t Black = rgb(0, 0, 0);

constexpr PositionDesign position(const char* lettering, int left, int top, int labelLeft,
                                  int labelTop, int labelHeight, uint32_t fill) {
    return {lettering,
            {left, top, CircleSize, CircleSize},
            {labelLeft, labelTop, 495, labelHeight},
            fill};
}
} // namespace detail

constexpr std::array<PositionDesign, PositionCount> Positions{{
    detail::position("Fp1", 1800, 600, 1800, 720, 375, detail::Red),
    detail::position("FpZ", 2400, 480, 2400, 600, 255, detail::Black),
    detail::position("Fp2", 3000, 600, 3000, 720, 375, detail::Blue),
    detail::position("F7", 1080, 1320, 1080, 1440, 375, detail::Red),
    detail::position("F3", 1680, 1560, 1680, 1680, 495, detail::Red),
    detail::position("FZ", 2400, 1800, 2400, 1920, 495, detail::Black),
    detail::position("F4", 3120, 1560, 3120, 1680, 375, detail::Blue),
    detail::position("F8", 3720, 1320, 3720, 1440, 375, detail::Blue),
    detail::position("T3", 720, 2520, 720, 2640, 495, detail::Red),
    detail::position("C3", 1560, 2520, 1560, 2640, 495, detail::Red),
    detail::position("CZ", 2400, 2520, 2400, 2640, 375, detail::Black),
    detail::position("C4", 3240, 2520, 3240, 2640, 495, detail::Blue),
    detail::position("T4", 3960, 2520, 3960, 2640, 375, detail::Blue),
    detail::position("T5", 1080, 3600, 1080, 3720, 375, detail::Red),
    detail::position("P3", 1680, 3360, 1680, 3480, 375, detail::Red),
    detail::position("PZ", 2400, 3240, 2400, 3360, 375, detail::Black),
    detail::position("P4", 3120, 3360, 3120, 3480, 375, detail::Blue),
    detail::position("T6", 3720, 3600, 3720, 3720, 375, detail::Blue),
    detail::position("O1", 1800, 4200, 1800, 4320, 375, detail::Red),
    detail::position("OZ", 2400, 4320, 2400, 4440, 375, detail::Black),
    detail::position("O2", 3000, 4200, 3000, 4320, 375, detail::Blue),
}};

// All lettering: white, Arial 9.75 point bold, centred horizontally at the top of its box,
// on a transparent background.
constexpr uint32_t LetteringColour = rgb(255, 255, 255);
constexpr const char* LetteringFamily = "Arial";
constexpr double LetteringPoints = 9.75;

/// The elements of the map by their designed names, for the stacking order.
enum class Element {
    Shape1,  // the head
    Shape3,  // the inner outline
    Line1,   // front-to-back midline
    Line2,   // ear-to-ear line
    Shape2,  // position circle (index: element)
    Label1,  // position lettering (index: element)
    Shape4,  // left ear reference
    Shape5,  // right ear reference
    LabelA1, // ear lettering (index: element 21 or 0)
};

struct Layer {
    Element element;
    int index = 0; ///< element index within its group; 0 for single elements
    constexpr bool operator==(const Layer&) const = default;
};

constexpr int LayerCount = 4 + 2 * PositionCount + 4;

namespace detail {
constexpr std::array<Layer, LayerCount> stackingOrder() {
    std::array<Layer, LayerCount> order{};
    int next = 0;
    order[next++] = {Element::Shape1};
    order[next++] = {Element::Shape3};
    order[next++] = {Element::Line1};
    order[next++] = {Element::Line2};
    for (int i = 0; i < PositionCount - 1; ++i)
        order[next++] = {Element::Shape2, i};
    for (int i = 0; i < PositionCount - 1; ++i)
        order[next++] = {Element::Label1, i};
    order[next++] = {Element::Shape2, PositionCount - 1};
    order[next++] = {Element::Label1, PositionCount - 1};
    order[next++] = {Element::Shape4};
    order[next++] = {Element::LabelA1, LeftEarLettering.element};
    order[next++] = {Element::Shape5};
    order[next++] = {Element::LabelA1, RightEarLettering.element};
    return order;
}
} // namespace detail

/// Bottom first; the buttons lie above all of these.
constexpr std::array<Layer, LayerCount> StackingOrder = detail::stackingOrder();

} // namespace solvane::scalpmap
