#include "geometry/geometry.h"

#include <CGAL/Constrained_Delaunay_triangulation_2.h>
#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Spatial_sort_traits_adapter_2.h>
#include <CGAL/hilbert_sort.h>
#include <CGAL/property_map.h>
#include <CGAL/Triangulation_face_base_with_info_2.h>
#include <CGAL/Triangulation_vertex_base_with_info_2.h>
#include <CGAL/intersections.h>

#include <list>


namespace mosaikon {

namespace {

using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
using Point = Kernel::Point_2;
using Segment = Kernel::Segment_2;

// Each face knows how many boundaries enclose it (-1 while unknown) and its triangle's index.
struct FaceInfo {
    int nesting = -1;
    int index = -1;
};
using VertexBase = CGAL::Triangulation_vertex_base_with_info_2<int, Kernel>;
using FaceBase0 = CGAL::Triangulation_face_base_with_info_2<FaceInfo, Kernel>;
using FaceBase = CGAL::Constrained_triangulation_face_base_2<Kernel, FaceBase0>;
using Structure = CGAL::Triangulation_data_structure_2<VertexBase, FaceBase>;
// No intersection tag: constraints that crossed would need new points, which must not be made.
using Cdt = CGAL::Constrained_Delaunay_triangulation_2<Kernel, Structure, CGAL::No_constraint_intersection_tag>;

Point ToPoint(const GridPoint& p) {
    return {static_cast<double>(p.x), static_cast<double>(p.y)};
}

// Faces reachable from `start` without crossing a constraint get `level`; the faces across the
// constraints met are queued with the next level.
void MarkDomain(Cdt& cdt, Cdt::Face_handle start, int level,
                std::list<Cdt::Edge>& border) {
    if (start->info().nesting != -1) return;
    std::list<Cdt::Face_handle> queue{start};
    while (!queue.empty()) {
        const Cdt::Face_handle face = queue.front();
        queue.pop_front();
        if (face->info().nesting != -1) continue;
        face->info().nesting = level;
        for (int i = 0; i < 3; ++i) {
            const Cdt::Edge edge(face, i);
            const Cdt::Face_handle next = face->neighbor(i);
            if (next->info().nesting != -1) continue;
            if (cdt.is_constrained(edge)) {
                border.push_back(edge);
            } else {
                queue.push_back(next);
            }
        }
    }
}

}  // namespace

bool SegmentsMeet(const GridPoint& a, const GridPoint& b, const GridPoint& c, const GridPoint& d) {
    const Segment first(ToPoint(a), ToPoint(b)), second(ToPoint(c), ToPoint(d));
    if (!CGAL::do_intersect(first, second)) return false;
    // Meeting only at a shared end is no meeting; sharing an end and overlapping is.
    const bool sharedEnd = a == c || a == d || b == c || b == d;
    if (!sharedEnd) return true;
    const GridPoint shared = (a == c || a == d) ? a : b;
    const GridPoint firstOther = shared == a ? b : a;
    const GridPoint secondOther = shared == c ? d : c;
    if (CGAL::orientation(ToPoint(shared), ToPoint(firstOther), ToPoint(secondOther)) !=
        CGAL::COLLINEAR) {
        return false;
    }
    // Collinear from the shared end: they overlap when both go the same way.
    return (firstOther.x - shared.x) * (secondOther.x - shared.x) +
               (firstOther.y - shared.y) * (secondOther.y - shared.y) >
           0;
}

int Orientation(const GridPoint& a, const GridPoint& b, const GridPoint& c) {
    switch (CGAL::orientation(ToPoint(a), ToPoint(b), ToPoint(c))) {
        case CGAL::LEFT_TURN:
            return 1;
        case CGAL::RIGHT_TURN:
            return -1;
        default:
            return 0;
    }
}

std::optional<Triangulation> TriangulateInside(const std::vector<GridPoint>& points,
                                const std::vector<std::array<int, 2>>& segments) {
    Cdt cdt;
    // The points along a Hilbert curve, each located from the one before: in their given
    // (sorted) order every point would be found by a long walk and make thin triangles that
    // take many flips, quadratic in a long thin area.
    std::vector<Point> located(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) located[i] = ToPoint(points[i]);
    std::vector<std::size_t> order(points.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const std::vector<Point>& fixed = located;
    CGAL::hilbert_sort(order.begin(), order.end(),
                       CGAL::Spatial_sort_traits_adapter_2<
                           Kernel, CGAL::Pointer_property_map<Point>::const_type>(
                           CGAL::make_property_map(fixed)));
    std::vector<Cdt::Vertex_handle> vertices(points.size());
    Cdt::Face_handle hint;
    for (const std::size_t i : order) {
        Cdt::Vertex_handle vertex = cdt.insert(located[i], hint);
        vertex->info() = static_cast<int>(i);
        vertices[i] = vertex;
        hint = vertex->face();
    }
    try {
        for (const auto& [from, to] : segments) {
            if (vertices[static_cast<std::size_t>(from)] != vertices[static_cast<std::size_t>(to)]) {
                cdt.insert_constraint(vertices[static_cast<std::size_t>(from)],
                                      vertices[static_cast<std::size_t>(to)]);
            }
        }
    } catch (const Cdt::Intersection_of_constraints_exception&) {
        return std::nullopt;
    }
    // Outside is level 0; every boundary crossed adds one.
    std::list<Cdt::Edge> border;
    MarkDomain(cdt, cdt.infinite_face(), 0, border);
    while (!border.empty()) {
        const Cdt::Edge edge = border.front();
        border.pop_front();
        const Cdt::Face_handle next = edge.first->neighbor(edge.second);
        if (next->info().nesting == -1) {
            MarkDomain(cdt, next, edge.first->info().nesting + 1, border);
        }
    }
    Triangulation result;
    for (auto face = cdt.finite_faces_begin(); face != cdt.finite_faces_end(); ++face) {
        if (face->info().nesting % 2 == 1) {
            face->info().index = static_cast<int>(result.triangles.size());
            result.triangles.push_back({face->vertex(0)->info(), face->vertex(1)->info(),
                                        face->vertex(2)->info()});
        }
    }
    result.neighbours.resize(result.triangles.size());
    for (auto face = cdt.finite_faces_begin(); face != cdt.finite_faces_end(); ++face) {
        const int index = face->info().index;
        if (index < 0) continue;
        for (int i = 0; i < 3; ++i) {
            const Cdt::Face_handle next = face->neighbor(i);
            const bool across = cdt.is_constrained(Cdt::Edge(face, i)) || cdt.is_infinite(next);
            result.neighbours[static_cast<std::size_t>(index)][static_cast<std::size_t>(i)] =
                across ? -1 : next->info().index;
        }
    }
    return result;
}

}  // namespace mosaikon
