# The application: its start screen, its screens and its text styles.
Screens {
  StartScreen = "Main"
  Screen { File = "Main.scr" }
  Screen { File = "screens\Details.scr" }
  Screen { File = "" }
  Screen { File = "Missing.scr" }
}
Styles {
  Style { File = "Title.sty" }
  Style { File = "styles/Small.sty" }
  Style { File = "Absent.sty" }
}
