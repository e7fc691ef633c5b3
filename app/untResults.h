// The results dialog of "Find High and Low": five rows of a right-aligned
// label and a value. A fresh one for every measurement, owned by the main
// window and released as soon as the user closes it.
#pragma once

#include <QDialog>

#include "untCommandDialogs.h"

class QLabel;

class TfrmResults : public QDialog {
    Q_OBJECT
public:
    // All ten captions start empty.
    explicit TfrmResults(QWidget* owner);

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* Result1 = nullptr;
    QLabel* Result2 = nullptr;
    QLabel* Result3 = nullptr;
    QLabel* Result4 = nullptr;
    QLabel* Result5 = nullptr;

    // Row i of rows goes to Label(i+1) and Result(i+1); rows past the fifth
    // are dropped, rows not given keep their captions.
    void SetRows(const TResultRows& rows);
};

// Creates a TfrmResults owned by owner, fills it and shows it modally; it is
// gone once the user has closed it.
void ShowResultsDialog(QWidget* owner, const TResultRows& rows);
