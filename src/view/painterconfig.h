#pragma once

#include <QDialog>

#include <vector>

class ImprovedLineEdit;
class QComboBox;
class QGLWidget;
class QPushButton;
class QRadioButton;
class QTableWidget;
class Renderer;

// "Configure": the streamline generator's properties, the isoline values
// (equally spaced over the colour range, or a custom list) and the two
// integration directions of the stream function.
class PainterConfig : public QDialog
{
    Q_OBJECT

public:
    // view is repainted after changes; it may be null.
    PainterConfig(Renderer &renderer, QGLWidget *view, QWidget *parent = nullptr);

    // n iso-values spread over the painted values of the fluid cells, ascending.
    static std::vector<double> suggest(Renderer &renderer, int n);

private slots:
    void on_strategy_currentIndexChanged(int index);
    void on_update_clicked();
    void on_equallySpaced_clicked();
    void on_custom_clicked();
    void on_addRow_clicked();
    void on_deleteRow_clicked();
    void on_updateIsolines_clicked();
    void on_streamIntegrationX_currentIndexChanged(int index);
    void on_streamIntegrationY_currentIndexChanged(int index);
    void on_sortIsolines_clicked();
    void on_randomIsolines_clicked();

private:
    void buildForm();
    void repaintView();
    void enableCustom(bool on);
    std::vector<double> customValues() const;
    void setCustomValues(const std::vector<double> &values);

    Renderer &renderer;
    QGLWidget *view;
    QComboBox *strategy = nullptr;
    QTableWidget *properties = nullptr;
    QTableWidget *isolines = nullptr;
    QRadioButton *equallySpaced = nullptr;
    QRadioButton *custom = nullptr;
    ImprovedLineEdit *count = nullptr;
    ImprovedLineEdit *suggestCount = nullptr;
    QList<QPushButton *> customButtons;
};
