#include "frmOptions.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

namespace solvane {

// A modal stand-in that only closes.
frmOptions::frmOptions(QWidget* owner) : QDialog(owner) {
    setWindowTitle(QStringLiteral("Solvane by Kardmo - Options"));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

} // namespace solvane
