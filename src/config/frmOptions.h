#pragma once
// The options dialog.

#include <QDialog>

namespace solvane {

class frmOptions : public QDialog {
    Q_OBJECT

public:
    explicit frmOptions(QWidget* owner);
};

} // namespace solvane
