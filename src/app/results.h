#pragma once

#include <QDialog>

class LBWidget;
class QCheckBox;
class QLineEdit;
class QTableWidget;
class QLabel;
class QXmlStreamReader;
class QXmlStreamWriter;

// The "Results" dialog: what a run writes every interval (view images,
// per-cell tables, the time-series table and its probe points) and when it
// stops (an iteration limit, a convergence threshold). Probe points are
// typed counted from 1, like everywhere else the user sees them, and stored
// counted from 0. Meaningless values are refused and the previous one kept.
class Results : public QDialog
{
    Q_OBJECT

public:
    explicit Results(LBWidget *view, QWidget *parent = nullptr);

    // The "results" element of the state document.
    void write(QXmlStreamWriter &writer) const;
    // Acts only on a start element named "results"; leaves the reader on its end.
    void read(QXmlStreamReader &reader);
    // Shows the parameters' limit, threshold and probe points again.
    void refresh();
    QString lastMessage() const { return message; }
    // Whether VTK files are written as compressed binary rather than ASCII.
    bool vtkBinaryEnabled() const;
    // The run's limits of a "results" element: maxIterations and stopWhen
    // take the element's values when both read (they keep theirs otherwise);
    // false with the reason when they do not. The reader stays on the element.
    static bool readLimits(QXmlStreamReader &reader, int &maxIterations, double &stopWhen, QString *error = nullptr);

private slots:
    void on_images_clicked();
    void on_vp_clicked();
    void on_simulation_clicked();
    // Each field applies on Return and when it loses the focus.
    void on_interval_editingFinished();
    void on_maxSteps_editingFinished();
    void on_stopCriterion_editingFinished();
    void on_addPoint_clicked();
    void on_removePoint_clicked();
    void on_updatePoints_clicked();

private:
    void applyOutputs();
    void refuse(QLineEdit *field, const QString &previous, const QString &why);
    void accept();

    LBWidget *view;
    QCheckBox *images, *vp, *simulation, *vtkBinary;
    QLineEdit *interval, *maxSteps, *stopCriterion, *fixedX, *fixedY, *fixedZ;
    QTableWidget *points;
    QLabel *messageLabel;
    QString message;
};
