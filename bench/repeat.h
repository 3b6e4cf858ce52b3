// A measurement repeated a few times: its median and its range. On a small machine shared with
// other work one run says little; the median of five and the spread around it say more.
#pragma once

#include <QList>
#include <QString>

#include <algorithm>

class Repeats
{
public:
    static constexpr int Count = 5;

    void add(double value) { m_values << value; }

    double median() const
    {
        QList<double> sorted = m_values;
        std::sort(sorted.begin(), sorted.end());
        const qsizetype n = sorted.size();
        if (n == 0)
            return 0;
        return n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    double min() const
    {
        return m_values.isEmpty() ? 0 : *std::min_element(m_values.begin(), m_values.end());
    }
    double max() const
    {
        return m_values.isEmpty() ? 0 : *std::max_element(m_values.begin(), m_values.end());
    }

    // "1.23 (1.10..1.40)"
    QString summary(int decimals = 2) const
    {
        return QStringLiteral("%1 (%2..%3)")
            .arg(QString::number(median(), 'f', decimals), QString::number(min(), 'f', decimals),
                 QString::number(max(), 'f', decimals));
    }

private:
    QList<double> m_values;
};
