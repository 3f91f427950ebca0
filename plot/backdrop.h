#pragma once

#include <QHash>
#include <QImage>
#include <QObject>

class QWidget;

// What the window paints beneath `widget`: its parents' backgrounds and frames, without the
// widget itself. An opaque image comes without alpha, so that drawing it is a plain copy.
QImage imageBeneath(QWidget *widget);

// Paints each added widget over an image of what lies beneath it, made once per size and
// place, and marks the widget opaque: a widget whose contents change many times a second
// then repaints alone, not the group box or frame beneath it as well. A widget is painted
// normally while its image is due, and where what lies beneath it is not opaque.
class Backdrops : public QObject
{
    Q_OBJECT
public:
    explicit Backdrops(QObject *parent = nullptr);
    void add(QWidget *widget);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void drop(QWidget *widget);
    void schedule();
    void makeImages();

    QHash<QWidget *, QImage> m_images;
    bool m_due = false;
};
