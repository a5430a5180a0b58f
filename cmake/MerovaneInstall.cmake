# What a card image needs, laid out by `cmake --install BUILD --prefix DIR
# --strip`: the program as www/cgi-bin/Merovane (the web root's cgi-bin, its
# working directory), the checker of the card's descriptor files as
# usr/bin/merovane-check and the form writer for the card's refresh script as
# usr/bin/merovane-form (both outside cgi-bin, where the web server would run
# them for anyone who asks) and, with MEROVANE_INSTALL_SAMPLE_SITE, the sample web
# installation of demo/www around it: index.html, the page fragments in
# www/includes, the style, the scripts and the progress bar images. The
# descriptors, value files and change programs of a card are its maker's.
option(MEROVANE_INSTALL_SAMPLE_SITE "Install the sample web installation with the program" OFF)

install(TARGETS Merovane RUNTIME DESTINATION www/cgi-bin)
install(TARGETS merovane-check merovane-form RUNTIME DESTINATION usr/bin)
if(MEROVANE_INSTALL_SAMPLE_SITE)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/demo/www/ DESTINATION www)
  install(FILES ${MEROVANE_PICS_DIR}/progressbar.gif ${MEROVANE_PICS_DIR}/progressbar-done.gif
    DESTINATION www/pics)
endif()
