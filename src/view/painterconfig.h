#pragma once

#include <QDialog>

#include <memory>
#include <vector>

namespace Ui {
class PainterConfig;
}

class QGLWidget;
class QPushButton;
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
    ~PainterConfig() override;

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
    void repaintView();
    void enableCustom(bool on);
    std::vector<double> customValues() const;
    void setCustomValues(const std::vector<double> &values);

    std::unique_ptr<Ui::PainterConfig> ui;
    Renderer &renderer;
    QGLWidget *view;
    QList<QPushButton *> customButtons;
};
