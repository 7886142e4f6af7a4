#include "ZNTUtilities/LayoutConstraint.h"

#include <QSet>

#include <cmath>

namespace LayoutConstraints {

namespace {

using tolvan::Error;

const QString errorDomain = QStringLiteral("ZNTLayoutConstraintErrorDomain");
constexpr qreal standardSpacing = 8;       // between two views
constexpr qreal standardEdgeSpacing = 20;  // between a view and its superview's edge

LayoutConstraint make(QObject* first, LayoutAttribute a1, LayoutRelation relation, QObject* second, LayoutAttribute a2,
                      qreal constant)
{
    return {first, a1, relation, second, a2, 1.0, constant};
}

void fail(Error* error, const QString& message)
{
    if (error)
        *error = {errorDomain, 1, message};
}

// A predicate: "==50", ">=hMargin", "otherView", with an optional "@priority".
struct Predicate {
    LayoutRelation relation = LayoutRelation::equal;
    std::optional<qreal> constant;
    QObject* view = nullptr;
};

class FormatParser {
public:
    FormatParser(const QString& format, const QVariantMap& metrics, const QHash<QString, QObject*>& views)
        : text_(format), metrics_(metrics), views_(views)
    {
    }

    std::optional<QList<LayoutConstraint>> parse(unsigned options, Error* error);

private:
    bool atEnd() const { return at_ >= text_.size(); }
    QChar peek() const { return atEnd() ? QChar() : text_[at_]; }
    bool take(QChar c)
    {
        if (peek() != c)
            return false;
        ++at_;
        return true;
    }
    bool failed(const QString& why)
    {
        if (message_.isEmpty())
            message_ = QStringLiteral("Unable to parse constraint format: %1\n%2\n%3^").arg(why, text_, QString(at_, ' '));
        return false;
    }
    QString name();
    bool predicate(Predicate& out);
    bool predicateList(QList<Predicate>& out);
    bool connection(std::optional<QList<Predicate>>& out);  // none when two views touch
    bool view(QObject*& out, QList<Predicate>& sizes);

    QString text_;
    const QVariantMap& metrics_;
    const QHash<QString, QObject*>& views_;
    int at_ = 0;
    QString message_;
};

QString FormatParser::name()
{
    const int start = at_;
    while (!atEnd() && (peek().isLetterOrNumber() || peek() == '_'))
        ++at_;
    return text_.mid(start, at_ - start);
}

bool FormatParser::predicate(Predicate& out)
{
    if (take('=')) {
        if (!take('='))
            return failed(QStringLiteral("expected '=='"));
        out.relation = LayoutRelation::equal;
    } else if (take('>')) {
        if (!take('='))
            return failed(QStringLiteral("expected '>='"));
        out.relation = LayoutRelation::greaterThanOrEqual;
    } else if (take('<')) {
        if (!take('='))
            return failed(QStringLiteral("expected '<='"));
        out.relation = LayoutRelation::lessThanOrEqual;
    }
    if (peek().isDigit() || peek() == '-' || peek() == '.') {
        const int start = at_;
        take('-');
        while (!atEnd() && (peek().isDigit() || peek() == '.'))
            ++at_;
        bool ok = false;
        out.constant = text_.mid(start, at_ - start).toDouble(&ok);
        if (!ok)
            return failed(QStringLiteral("expected a number"));
    } else {
        const QString n = name();
        if (n.isEmpty())
            return failed(QStringLiteral("expected a number, a metric or a view name"));
        if (metrics_.contains(n)) {
            bool ok = false;
            out.constant = metrics_.value(n).toDouble(&ok);
            if (!ok)
                return failed(QStringLiteral("metric '%1' is not a number").arg(n));
        } else if (views_.contains(n)) {
            out.view = views_.value(n);
        } else {
            return failed(QStringLiteral("'%1' is not a key in the metrics or views").arg(n));
        }
    }
    if (take('@')) {  // priorities are read and not used: every constraint is required
        Predicate priority;
        if (!predicate(priority) || !priority.constant)
            return failed(QStringLiteral("expected a priority"));
    }
    return true;
}

bool FormatParser::predicateList(QList<Predicate>& out)
{
    if (!take('(')) {
        Predicate single;
        if (!predicate(single))
            return false;
        out.append(single);
        return true;
    }
    do {
        Predicate p;
        if (!predicate(p))
            return false;
        out.append(p);
    } while (take(','));
    return take(')') || failed(QStringLiteral("expected ')'"));
}

bool FormatParser::connection(std::optional<QList<Predicate>>& out)
{
    if (!take('-')) {
        out.reset();
        return true;
    }
    QList<Predicate> spacing;
    if (peek() == '[' || peek() == '|') {
        spacing.append(Predicate{});  // the standard spacing, filled in by the caller
    } else {
        if (!predicateList(spacing))
            return false;
        for (const Predicate& p : spacing) {
            if (!p.constant)
                return failed(QStringLiteral("a spacing must be a number or a metric"));
        }
        if (!take('-'))
            return failed(QStringLiteral("expected '-'"));
    }
    out = spacing;
    return true;
}

bool FormatParser::view(QObject*& out, QList<Predicate>& sizes)
{
    if (!take('['))
        return failed(QStringLiteral("expected a view"));
    const QString n = name();
    if (n.isEmpty())
        return failed(QStringLiteral("expected a view name"));
    if (!views_.contains(n) || !views_.value(n))
        return failed(QStringLiteral("'%1' is not a key in the views dictionary").arg(n));
    out = views_.value(n);
    if (take('(')) {
        --at_;
        if (!predicateList(sizes))
            return false;
    }
    return take(']') || failed(QStringLiteral("expected ']'"));
}

std::optional<QList<LayoutConstraint>> FormatParser::parse(unsigned options, Error* error)
{
    bool vertical = false;
    if (text_.startsWith(QLatin1String("V:"))) {
        vertical = true;
        at_ = 2;
    } else if (text_.startsWith(QLatin1String("H:"))) {
        at_ = 2;
    }
    const LayoutAttribute lead = vertical ? LayoutAttribute::top : LayoutAttribute::left;
    const LayoutAttribute trail = vertical ? LayoutAttribute::bottom : LayoutAttribute::right;
    const LayoutAttribute length = vertical ? LayoutAttribute::height : LayoutAttribute::width;

    QList<LayoutConstraint> result;
    QList<QObject*> chain;
    auto spacingConstraints = [&](QObject* first, LayoutAttribute a1, QObject* second, LayoutAttribute a2,
                                  const std::optional<QList<Predicate>>& spacing, qreal standard) {
        if (!spacing) {
            result.append(make(first, a1, LayoutRelation::equal, second, a2, 0));
            return;
        }
        for (const Predicate& p : *spacing)
            result.append(make(first, a1, p.relation, second, a2, p.constant.value_or(standard)));
    };
    auto superviewOf = [&](QObject* v) -> QObject* {
        QObject* parent = v->parent();
        if (!parent)
            failed(QStringLiteral("the view has no superview to pin to"));
        return parent;
    };

    const bool leadingEdge = take('|');
    std::optional<QList<Predicate>> pending;
    if (leadingEdge && !connection(pending))
        return fail(error, message_), std::nullopt;
    while (peek() == '[') {
        QObject* v = nullptr;
        QList<Predicate> sizes;
        if (!view(v, sizes))
            return fail(error, message_), std::nullopt;
        for (const Predicate& p : sizes) {
            if (p.view)
                result.append(make(v, length, p.relation, p.view, length, 0));
            else
                result.append(make(v, length, p.relation, nullptr, LayoutAttribute::notAnAttribute, *p.constant));
        }
        if (chain.isEmpty() && leadingEdge) {
            QObject* parent = superviewOf(v);
            if (!parent)
                return fail(error, message_), std::nullopt;
            spacingConstraints(v, lead, parent, lead, pending, standardEdgeSpacing);
        } else if (!chain.isEmpty()) {
            spacingConstraints(v, lead, chain.last(), trail, pending, standardSpacing);
        }
        chain.append(v);
        if (!connection(pending))
            return fail(error, message_), std::nullopt;
    }
    if (chain.isEmpty()) {
        failed(QStringLiteral("expected a view"));
        return fail(error, message_), std::nullopt;
    }
    if (take('|')) {
        QObject* parent = superviewOf(chain.last());
        if (!parent)
            return fail(error, message_), std::nullopt;
        spacingConstraints(parent, trail, chain.last(), trail, pending, standardEdgeSpacing);
    } else if (pending) {
        failed(QStringLiteral("a connection must end at a view or the superview"));
        return fail(error, message_), std::nullopt;
    }
    if (!atEnd()) {
        failed(QStringLiteral("unexpected text"));
        return fail(error, message_), std::nullopt;
    }
    // Alignment options: every view of the format on each chosen attribute.
    for (unsigned bit = 1; bit <= unsigned(LayoutAttribute::baseline); ++bit) {
        if (!(options & (1u << bit)))
            continue;
        for (int i = 1; i < chain.size(); ++i)
            result.append(make(chain[i], LayoutAttribute(bit), LayoutRelation::equal, chain[i - 1], LayoutAttribute(bit), 0));
    }
    return result;
}

}  // namespace

LayoutConstraint constraintHorizontallyCenteringView(QObject* view, QObject* parent)
{
    return make(view, LayoutAttribute::centerX, LayoutRelation::equal, parent, LayoutAttribute::centerX, 0);
}

LayoutConstraint constraintVerticallyCenteringView(QObject* view, QObject* parent)
{
    return make(view, LayoutAttribute::centerY, LayoutRelation::equal, parent, LayoutAttribute::centerY, 0);
}

LayoutConstraint constraintPlacingView(QObject* view, QObject* belowView, qreal spacing)
{
    return make(view, LayoutAttribute::top, LayoutRelation::equal, belowView, LayoutAttribute::bottom, spacing);
}

LayoutConstraint constraintWithViewFixedWidth(QObject* view, qreal width)
{
    return make(view, LayoutAttribute::width, LayoutRelation::equal, nullptr, LayoutAttribute::notAnAttribute, width);
}

LayoutConstraint constraintWithViewFixedHeight(QObject* view, qreal height)
{
    return make(view, LayoutAttribute::height, LayoutRelation::equal, nullptr, LayoutAttribute::notAnAttribute, height);
}

namespace {

std::optional<LayoutConstraint> centerInSuperview(QObject* view, LayoutAttribute attribute, Error* error)
{
    if (!view || !view->parent()) {
        fail(error, QStringLiteral("A view without a superview cannot be centred in it"));
        return std::nullopt;
    }
    return make(view, attribute, LayoutRelation::equal, view->parent(), attribute, 0);
}

}  // namespace

std::optional<LayoutConstraint> horizontallyCenterView(QObject* view, Error* error)
{
    return centerInSuperview(view, LayoutAttribute::centerX, error);
}

std::optional<LayoutConstraint> verticallyCenterView(QObject* view, Error* error)
{
    return centerInSuperview(view, LayoutAttribute::centerY, error);
}

std::optional<QList<LayoutConstraint>> horizontallyCenterViewsInSuperviews(const QList<QObject*>& views, Error* error)
{
    QList<LayoutConstraint> result;
    for (QObject* view : views) {
        const auto constraint = horizontallyCenterView(view, error);
        if (!constraint)
            return std::nullopt;
        result.append(*constraint);
    }
    return result;
}

std::optional<QList<LayoutConstraint>> constraintsWithVisualFormat(const QString& format, unsigned options,
                                                                   const QVariantMap& metrics,
                                                                   const QHash<QString, QObject*>& views, Error* error)
{
    return FormatParser(format, metrics, views).parse(options, error);
}

std::optional<QList<LayoutConstraint>> constraintsWithVisualFormatsAndOptions(const QList<LayoutItem>& items,
                                                                              const QVariantMap& metrics,
                                                                              const QHash<QString, QObject*>& views,
                                                                              Error* error)
{
    QList<LayoutConstraint> result;
    for (int i = 0; i < items.size(); ++i) {
        const LayoutItem& item = items[i];
        if (const auto* constraint = std::get_if<LayoutConstraint>(&item)) {
            result.append(*constraint);
        } else if (const auto* list = std::get_if<QList<LayoutConstraint>>(&item)) {
            result.append(*list);
        } else if (const auto* format = std::get_if<QString>(&item)) {
            unsigned options = 0;
            if (i + 1 < items.size()) {
                if (const auto* number = std::get_if<unsigned>(&items[i + 1])) {
                    options = *number;
                    ++i;
                }
            }
            const auto made = constraintsWithVisualFormat(*format, options, metrics, views, error);
            if (!made)
                return std::nullopt;
            result.append(*made);
        }
    }
    return result;
}

// ---- Solver ----

namespace {

// An item's two edges on each axis.
struct Edges {
    qreal minX = 0, maxX = 0, minY = 0, maxY = 0;
    bool operator==(const Edges&) const = default;
};

qreal value(const Edges& e, LayoutAttribute a, qreal baseline)
{
    switch (a) {
    case LayoutAttribute::left:
    case LayoutAttribute::leading: return e.minX;
    case LayoutAttribute::right:
    case LayoutAttribute::trailing: return e.maxX;
    case LayoutAttribute::top: return e.minY;
    case LayoutAttribute::bottom: return e.maxY;
    case LayoutAttribute::width: return e.maxX - e.minX;
    case LayoutAttribute::height: return e.maxY - e.minY;
    case LayoutAttribute::centerX: return (e.minX + e.maxX) / 2;
    case LayoutAttribute::centerY: return (e.minY + e.maxY) / 2;
    case LayoutAttribute::baseline: return e.minY + baseline;
    case LayoutAttribute::notAnAttribute: return 0;
    }
    return 0;
}

// Moves the edge an attribute names; centres and baselines move the item.
void setValue(Edges& e, LayoutAttribute a, qreal v, qreal baseline)
{
    const qreal delta = v - value(e, a, baseline);
    switch (a) {
    case LayoutAttribute::left:
    case LayoutAttribute::leading: e.minX = v; break;
    case LayoutAttribute::right:
    case LayoutAttribute::trailing: e.maxX = v; break;
    case LayoutAttribute::top: e.minY = v; break;
    case LayoutAttribute::bottom: e.maxY = v; break;
    case LayoutAttribute::width: e.maxX = e.minX + v; break;
    case LayoutAttribute::height: e.maxY = e.minY + v; break;
    case LayoutAttribute::centerX: e.minX += delta, e.maxX += delta; break;
    case LayoutAttribute::centerY:
    case LayoutAttribute::baseline: e.minY += delta, e.maxY += delta; break;
    case LayoutAttribute::notAnAttribute: break;
    }
}

bool violated(qreal current, LayoutRelation relation, qreal target)
{
    constexpr qreal tolerance = 1e-9;
    switch (relation) {
    case LayoutRelation::equal: return std::abs(current - target) > tolerance;
    case LayoutRelation::greaterThanOrEqual: return current < target - tolerance;
    case LayoutRelation::lessThanOrEqual: return current > target + tolerance;
    }
    return false;
}

LayoutRelation reversed(LayoutRelation r)
{
    return LayoutRelation(-int(r));
}

}  // namespace

QHash<QObject*, QRectF> solve(const QList<LayoutConstraint>& constraints, QObject* container, QSizeF size,
                              const SolverItems& items)
{
    QHash<QObject*, Edges> edges;
    QHash<QObject*, QSizeF> intrinsic;
    edges.insert(container, {0, size.width(), 0, size.height()});
    for (const LayoutConstraint& c : constraints) {
        for (QObject* item : {c.firstItem, c.secondItem}) {
            if (item && !edges.contains(item)) {
                intrinsic.insert(item, items.intrinsicSize ? items.intrinsicSize(item) : QSizeF());
                edges.insert(item, {0, intrinsic[item].width(), 0, intrinsic[item].height()});
            }
        }
    }
    auto baseline = [&](QObject* item) { return items.baselineOffset && item != container ? items.baselineOffset(item) : 0.0; };

    // Each pass starts from the intrinsic sizes and applies the constraints in
    // order; the layout is settled when a pass changes nothing.
    for (int pass = 0; pass < 64; ++pass) {
        const QHash<QObject*, Edges> before = edges;
        for (auto it = edges.begin(); it != edges.end(); ++it) {
            if (it.key() == container)
                continue;
            it->maxX = it->minX + intrinsic[it.key()].width();
            it->maxY = it->minY + intrinsic[it.key()].height();
        }
        for (const LayoutConstraint& c : constraints) {
            if (!c.firstItem || c.multiplier == 0)
                continue;
            const qreal second = c.secondItem ? value(edges[c.secondItem], c.secondAttribute, baseline(c.secondItem)) : 0;
            const qreal target = c.multiplier * second + c.constant;
            if (c.firstItem != container) {
                Edges& first = edges[c.firstItem];
                if (violated(value(first, c.firstAttribute, baseline(c.firstItem)), c.relation, target))
                    setValue(first, c.firstAttribute, target, baseline(c.firstItem));
            } else if (c.secondItem && c.secondItem != container) {
                // The container is fixed: solve for the second item instead.
                const qreal first = value(edges[container], c.firstAttribute, 0);
                const qreal solved = (first - c.constant) / c.multiplier;
                const LayoutRelation relation = c.multiplier > 0 ? reversed(c.relation) : c.relation;
                Edges& other = edges[c.secondItem];
                if (violated(value(other, c.secondAttribute, baseline(c.secondItem)), relation, solved))
                    setValue(other, c.secondAttribute, solved, baseline(c.secondItem));
            }
        }
        if (edges == before)
            break;
    }
    QHash<QObject*, QRectF> frames;
    for (auto it = edges.cbegin(); it != edges.cend(); ++it) {
        if (it.key() != container)
            frames.insert(it.key(), QRectF(QPointF(it->minX, it->minY), QPointF(it->maxX, it->maxY)));
    }
    return frames;
}

}  // namespace LayoutConstraints
