#pragma once

#include <QWidget>

// A horizontal bar showing where a value lies between a lower and an upper bound. Its
// centre stands for the middle value; a run of one-pixel columns grows from the centre
// to the value's position, green at the centre and turning red toward the upper end and
// blue toward the lower end. None of the setters repaints.
class DoubleCanvas : public QWidget
{
    Q_OBJECT
public:
    explicit DoubleCanvas(QWidget *parent = nullptr);

    void setValue(float v);
    void setMax(float v);
    void setMin(float v);
    void setMid(float v);
    void setAll(float max, float min, float mid, float value);
    // Shows exactly [min, max] (min < max): the centre stands for 0 where 0 lies strictly
    // inside, else for the middle of the range; the value is clamped into the new range.
    void setRange(float min, float max);

    float value() const { return m_value; }
    float min() const { return m_min; }
    float mid() const { return m_mid; }
    float max() const { return m_max; }
    float markerX() const { return m_markerX; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    float markerFor(float u, bool upper) const;
    void updateUpperCoefficients();
    void updateLowerCoefficients();

    float m_value = 0;
    float m_min = 0;
    float m_mid = 0;
    float m_max = 0;
    float m_colourScale = 1;
    float m_markerX = 0;
    // Per unit of value offset from the middle. NaN until the bounds are set, so that a
    // bar painted before then shows no run.
    float m_upperRed = qQNaN();
    float m_upperGreen = qQNaN();
    float m_upperBlue = qQNaN();
    float m_lowerRed = qQNaN();
    float m_lowerGreen = qQNaN();
    float m_lowerBlue = qQNaN();
};
