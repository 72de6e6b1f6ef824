#pragma once

#include <QLineEdit>

// The numeric entry of the docks and dialogs: an edited text turns red until
// Return confirms it, Return rewrites a number in its canonical form, and the
// Up and Down keys add and subtract one.
class ImprovedLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(bool doublesAllowed READ doublesAllowed WRITE setDoublesAllowed)
    Q_PROPERTY(bool negativesAllowed READ negativesAllowed WRITE setNegativesAllowed)

public:
    explicit ImprovedLineEdit(QWidget *parent = nullptr);

    bool doublesAllowed() const { return allowDoubles; }
    void setDoublesAllowed(bool on) { allowDoubles = on; }
    bool negativesAllowed() const { return allowNegatives; }
    void setNegativesAllowed(bool on) { allowNegatives = on; }
    // Whether the text is red, i.e. edited and not yet confirmed.
    bool isPending() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void setPending(bool pending);
    void normalise();

    bool allowDoubles = false;
    bool allowNegatives = false;
};
