// The simulation's own sine, cosine, arctangent and arcsine: only + - * / and sqrt, each rounded
// once, so every CPU and C runtime gives the same bits. Error at most 1 ulp for every double.
#pragma once

double PortableSin(double x);
double PortableCos(double x);
// Both at once, sharing one argument reduction (a heading needs both).
void PortableSinCos(double x, double& sine, double& cosine);
// In [-pi/2, pi/2]; the infinities give +-pi/2 rounded to a double.
double PortableAtan(double x);
// In [-pi/2, pi/2] for x in [-1, 1]; NaN outside.
double PortableAsin(double x);
