#pragma once

#include <QDialog>
#include <QMap>

class AbstractTrace;
class QButtonGroup;
class QPushButton;

// Asks which contour trace to attach on the right of the trace clicked in the trace list, and
// how long the two overlap (millimetres). It only chooses; the trace list joins the traces when
// the dialog is accepted. Each offered trace is one radio button that carries the trace's id,
// so traces of the same name are told apart.
class UniteTraceDialog : public QDialog
{
    Q_OBJECT

public:
    UniteTraceDialog(const QMap<int, AbstractTrace *> &traces, int leftTraceId,
                     QWidget *parent = nullptr);
    ~UniteTraceDialog() override;

    // Meaningful once the dialog was accepted.
    double overlap = 0.0;
    int chosenTraceId = -1;

    QButtonGroup *traceButtons() const { return m_group; }
    QPushButton *uniteButton() const { return m_uniteButton; }

private:
    void onAccept();

    QMap<int, AbstractTrace *> m_traces;
    QButtonGroup *m_group;
    QPushButton *m_uniteButton;
};
