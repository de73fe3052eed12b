// lice_lines.h - lines, rectangle outlines, circles, arcs, rounded rectangles and Bezier curves.
//
// All take the destination bitmap first, a colour word, a float alpha (ia = (int)(alpha * 256);
// 0 draws nothing) and a blend-mode word whose low byte picks the combine rule (the use-alpha
// bit plays no part; unknown rules draw nothing). `aa` asks for anti-aliased edges. Coordinates
// are picture coordinates (y down) on flipped bitmaps too. Everything is clipped to the bitmap;
// NaN coordinates draw nothing.
#pragma once

#include "raster/lice.h"

// Every pixel from (x1, y1) to (x2, y2) inclusive.
void LICE_Line(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, LICE_pixel color, float alpha,
               int mode, bool aa);
// Without aa: LICE_Line on the rounded end points. With aa: coverage split between the two
// pixels nearest the exact line along its minor axis.
void LICE_FLine(LICE_IBitmap* dest, float x1, float y1, float x2, float y2, LICE_pixel color,
                float alpha, int mode, bool aa);
// Horizontal and vertical lines only: pxon pixels on, pxoff off, from the smaller coordinate,
// stopping before the larger end.
void LICE_DashedLine(LICE_IBitmap* dest, int x1, int y1, int x2, int y2, int pxon, int pxoff,
                     LICE_pixel color, float alpha, int mode, bool aa);

// Clip a line to the box xlo <= x < xhi, ylo <= y < yhi; false when nothing is left.
bool LICE_ClipLine(int* pX1, int* pY1, int* pX2, int* pY2, int xLo, int yLo, int xHi, int yHi);
// Clip a line to the box xlo <= x <= xhi, ylo <= y <= yhi; false when nothing is left.
bool LICE_ClipFLine(float* px1, float* py1, float* px2, float* py2, float xlo, float ylo, float xhi,
                    float yhi);

// Outline of w + 1 by h + 1 pixels with its corner at (x, y).
void LICE_DrawRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel color, float alpha,
                   int mode);
// Fills the inside with bgcolor, then draws the outline with fgcolor.
void LICE_BorderedRect(LICE_IBitmap* dest, int x, int y, int w, int h, LICE_pixel bgcolor,
                       LICE_pixel fgcolor, float alpha, int mode);

void LICE_Circle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                 int mode, bool aa);
void LICE_FillCircle(LICE_IBitmap* dest, float cx, float cy, float r, LICE_pixel color, float alpha,
                     int mode, bool aa);
// Angles in radians, 0 pointing up, growing clockwise.
void LICE_Arc(LICE_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
              LICE_pixel color, float alpha, int mode, bool aa);
void LICE_RoundRect(LICE_IBitmap* dest, float x, float y, float w, float h, int cornerradius,
                    LICE_pixel color, float alpha, int mode, bool aa);

// Curves as polylines of LICE_FLine segments; tol is the segment length aimed at (<= 0: 1).
void LICE_DrawQBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl, float yctl,
                      float xend, float yend, LICE_pixel color, float alpha, int mode, bool aa,
                      float tol = 0.0f);
void LICE_DrawCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, LICE_pixel color,
                      float alpha, int mode, bool aa, float tol = 0.0f);
// Fill between a cubic curve and the row y = yfill (the column x = xfill for the X form).
void LICE_FillCBezier(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                      float xctl2, float yctl2, float xend, float yend, int yfill, LICE_pixel color,
                      float alpha, int mode, float tol = 0.0f);
void LICE_FillCBezierX(LICE_IBitmap* dest, float xstart, float ystart, float xctl1, float yctl1,
                       float xctl2, float yctl2, float xend, float yend, int xfill,
                       LICE_pixel color, float alpha, int mode, float tol = 0.0f);
