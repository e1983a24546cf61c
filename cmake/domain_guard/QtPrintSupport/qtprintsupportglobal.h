// Stands in for the real header while app_domain is compiled (its folder is searched before
// Qt's and the system's): every Qt Widgets header includes <QtWidgets/qtwidgetsglobal.h>, every
// Qt PrintSupport header <QtPrintSupport/qtprintsupportglobal.h>, so a widget or printing
// include anywhere in a domain source, also through a header it includes, stops the build here.
// The plot library is stopped the same way: its header includes <QtWidgets/QWidget>.
#error "app_domain is built without Qt Widgets, Qt PrintSupport and QCustomPlot. A source that needs them belongs to app_ui: in one of its folders (UI_DIRS in app/CMakeLists.txt) or in a ui/ subfolder of a domain folder."
