#include "untResults.h"

#include <QLabel>

namespace {

constexpr int kFirstRowY = 16;
constexpr int kRowStep = 16;

}  // namespace

TfrmResults::TfrmResults(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmResults"));
    setWindowTitle(QStringLiteral("Results"));
    resize(312, 130);
    // Each measurement makes a new dialog: kept until the program ends they
    // would pile up, so one goes as soon as it is closed.
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);

    QLabel** labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5};
    QLabel** results[] = {&Result1, &Result2, &Result3, &Result4, &Result5};
    for (int i = 0; i < 5; ++i) {
        const int y = kFirstRowY + i * kRowStep;
        QLabel* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        label->setGeometry(8, y, 81, kRowStep);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        *labels[i] = label;

        QLabel* result = new QLabel(this);
        result->setObjectName(QStringLiteral("Result%1").arg(i + 1));
        result->setGeometry(96, y, 312 - 96 - 8, kRowStep);
        result->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        // A user may want the figures elsewhere, a prescale factor worked out from them.
        result->setTextInteractionFlags(Qt::TextSelectableByMouse);
        *results[i] = result;
    }
}

void TfrmResults::SetRows(const TResultRows& rows) {
    QLabel* labels[] = {Label1, Label2, Label3, Label4, Label5};
    QLabel* results[] = {Result1, Result2, Result3, Result4, Result5};
    for (size_t i = 0; i < rows.size() && i < 5; ++i) {
        labels[i]->setText(QString::fromStdString(rows[i].first));
        results[i]->setText(QString::fromStdString(rows[i].second));
    }
}

void ShowResultsDialog(QWidget* owner, const TResultRows& rows) {
    auto* dialog = new TfrmResults(owner);
    dialog->SetRows(rows);
    // WA_DeleteOnClose releases it once it is closed; exec() copes with that.
    dialog->exec();
}
