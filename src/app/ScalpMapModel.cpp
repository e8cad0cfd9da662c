#include "ScalpMapModel.h"

#include "checked/Checked.h"

namespace solvane {

ScalpMapModel::ScalpMapModel() {
    for (int i = 0; i < scalpmap::PositionCount; ++i)
        positions_[i] = {scalpmap::Positions[i].fill, false, scalpmap::LetteringColour};
}

const ScalpMapModel::Position& ScalpMapModel::position(int element) const {
    return checked::at(positions_, element, "Shape2");
}

void ScalpMapModel::setFillColour(int element, uint32_t colour) {
    checked::at(positions_, element, "Shape2").fillColour = colour;
}

void ScalpMapModel::setFillTransparent(int element) {
    checked::at(positions_, element, "Shape2").fillTransparent = true;
}

void ScalpMapModel::setTextColour(int element, uint32_t colour) {
    checked::at(positions_, element, "Label1").textColour = colour;
}

} // namespace solvane
