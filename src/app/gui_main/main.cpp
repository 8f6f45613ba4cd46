// The desktop player. For now it opens the plate window; the player window takes over
// this function once it exists.
#include <QApplication>

#include "app/gui/message_box_sink.h"
#include "app/gui/plate_dlg.h"
#include "app/records.h"
#include "app/utilities.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tunecase::ScopedMessageBoxSink boxes;
    tunecase::seedRandom();
    tunecase::PlayerSettings settings = tunecase::defaultPlayerSettings();
    settings.plateType = tunecase::PlateLargeDisk;
    tunecase::PlateDlg plate(&settings);
    plate.fitToPlate();
    return app.exec();
}
