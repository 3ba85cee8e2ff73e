#include "conversion/point_in_quad.h"

#include <cmath>

namespace mosaikon {

namespace {
constexpr double kPi = 3.14159265;  // the value the angles are formed with
constexpr float kNearZero = 0.0001f;
constexpr float kThreshold = 3.1415927f;
}  // namespace

float DotAt(float x1, float y1, float x2, float y2, float x3, float y3) {
    const float ux = x1 - x2, uy = y1 - y2;
    const float wx = x3 - x2, wy = y3 - y2;
    return static_cast<float>(static_cast<double>(ux) * wx + static_cast<double>(uy) * wy);
}

float CrossAt(float x1, float y1, float x2, float y2, float x3, float y3) {
    const float ux = x1 - x2, uy = y1 - y2;
    const float wx = x3 - x2, wy = y3 - y2;
    return static_cast<float>(static_cast<double>(ux) * wy - static_cast<double>(uy) * wx);
}

float ArcTan2(float y, float x) {
    double a;
    if (std::fabs(x) < kNearZero) {
        a = kPi / 2;
    } else {
        a = std::fabs(std::atan(static_cast<double>(y) / static_cast<double>(x)));
    }
    float angle = static_cast<float>(a);
    if (x < 0) angle = static_cast<float>(kPi - static_cast<double>(angle));
    if (y < 0) angle = -angle;
    return angle;
}

float AngleAt(float x1, float y1, float x2, float y2, float x3, float y3) {
    return ArcTan2(CrossAt(x1, y1, x2, y2, x3, y3), DotAt(x1, y1, x2, y2, x3, y3));
}

GrownQuad GrowQuad(const double cornerX[4], const double cornerY[4], double margin) {
    GrownQuad quad;
    quad.x[0] = static_cast<float>(cornerX[0] - margin);
    quad.y[0] = static_cast<float>(cornerY[0] - margin);
    quad.x[1] = static_cast<float>(cornerX[1] + margin);
    quad.y[1] = static_cast<float>(cornerY[1] - margin);
    quad.x[2] = static_cast<float>(cornerX[2] + margin);
    quad.y[2] = static_cast<float>(cornerY[2] + margin);
    quad.x[3] = static_cast<float>(cornerX[3] - margin);
    quad.y[3] = static_cast<float>(cornerY[3] + margin);
    return quad;
}

bool InsideGrown(const GrownQuad& q, std::int16_t col, std::int16_t row) {
    const float px = col, py = row;
    float sum = AngleAt(q.x[3], q.y[3], px, py, q.x[0], q.y[0]);
    sum = sum + AngleAt(q.x[0], q.y[0], px, py, q.x[1], q.y[1]);
    sum = sum + AngleAt(q.x[1], q.y[1], px, py, q.x[2], q.y[2]);
    sum = sum + AngleAt(q.x[2], q.y[2], px, py, q.x[3], q.y[3]);
    return std::fabs(sum) > kThreshold;
}

bool PointInQuad(std::int16_t col, std::int16_t row, const double cornerX[4],
                 const double cornerY[4], double margin) {
    return InsideGrown(GrowQuad(cornerX, cornerY, margin), col, row);
}

}  // namespace mosaikon
