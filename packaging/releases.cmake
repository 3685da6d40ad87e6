# The release history, newest first: one potemaru_release(VERSION DATE NOTE...) per release, each NOTE one
# quoted paragraph. The Debian changelog (changelog.in per entry) and the AppStream releases of the metadata
# are made from it (cmake/Packaging.cmake), and the newest entry must be the VERSION of project().

potemaru_release(1.0.0 2026-12-10
  "The first release for Linux desktops, with packages for Debian: the game with its desktop entry, icons,
  AppStream metadata and manual page (potemaru); the SDK's libraries, headers, CMake package and pkg-config
  files, with potemaru-peers to try an app against (potemaru-dev).")
