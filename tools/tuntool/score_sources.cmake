# The sources of the score compiler (the tuntool_score library), listed once
# for tools/tuntool and for fuzz/, which builds them again instrumented.
set(tuntool_score_sources score.cpp score_words.cpp score_sound.cpp score_parse.cpp score_groups.cpp
    score_arrange.cpp score_voice.cpp)
