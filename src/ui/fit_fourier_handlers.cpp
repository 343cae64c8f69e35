// The fit actions of the model page and the actions of the Fourier page. Their controls are in
// place with their start-up states; the actions themselves come with the fit and Fourier
// windows of the core, and until then a click does nothing.
#include "ui/main_window.h"

namespace tolvi::ui {

void MainWindow::Button4Click() {}   // Fit
void MainWindow::Button9Click() {}   // Recov
void MainWindow::Button12Click() {}  // Multi Fit

void MainWindow::Button19Click() {}  // Template data
void MainWindow::Button20Click() {}  // Load data
void MainWindow::Button21Click() {}  // FT
void MainWindow::Button22Click() {}  // Save FT

void MainWindow::RG0Click() {}  // Data_Y
void MainWindow::RG1Click() {}  // Data_X_axis
void MainWindow::RG2Click() {}  // Transform
void MainWindow::RG3Click() {}  // q_area
void MainWindow::RG4Click() {}  // q_critical
void MainWindow::RG5Click() {}  // Fringe

}  // namespace tolvi::ui
